#include "platform/foundation/user_defaults.h"

#include <QSettings>
#include <QVariant>

#include <map>
#include <memory>

namespace qrn {

namespace {

class MemoryDefaults : public UserDefaults {
  public:
    Value value(const std::string& key) const override {
        auto it = values_.find(key);
        return it == values_.end() ? Value() : it->second;
    }
    void set(const std::string& key, const Value& v) override { values_[key] = v; }
    void remove(const std::string& key) override { values_.erase(key); }

  private:
    std::map<std::string, Value> values_;
};

QVariant toVariant(const Value& v) {
    switch (v.type()) {
    case Value::Type::Bool:
        return v.toBool();
    case Value::Type::Integer:
        return QVariant::fromValue<qlonglong>(v.toInt());
    case Value::Type::Real:
        return v.toReal();
    case Value::Type::String:
        return QString::fromStdString(v.toString());
    case Value::Type::Colour: {
        QVariantList l;
        for (double c : v.toColour())
            l.append(c);
        return l;
    }
    case Value::Type::List: {
        QVariantList l;
        for (const auto& item : v.toList())
            l.append(toVariant(item));
        return l;
    }
    default:
        return {};
    }
}

Value fromVariant(const QVariant& q) {
    switch (q.typeId()) {
    case QMetaType::Bool:
        return Value(q.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return Value(static_cast<std::int64_t>(q.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return Value(q.toDouble());
    case QMetaType::QString:
        return Value(q.toString().toStdString());
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        Value::List l;
        for (const auto& item : q.toList())
            l.push_back(fromVariant(item));
        return Value(std::move(l));
    }
    default:
        return Value();
    }
}

class SettingsDefaults : public UserDefaults {
  public:
    Value value(const std::string& key) const override {
        return fromVariant(settings_.value(QString::fromStdString(key)));
    }
    void set(const std::string& key, const Value& v) override {
        settings_.setValue(QString::fromStdString(key), toVariant(v));
    }
    void remove(const std::string& key) override { settings_.remove(QString::fromStdString(key)); }

  private:
    mutable QSettings settings_{"QRN", "QRN"};
};

std::unique_ptr<UserDefaults>& current() {
    static std::unique_ptr<UserDefaults> store;
    return store;
}

} // namespace

UserDefaults& UserDefaults::standard() {
    if (!current())
        current() = std::make_unique<SettingsDefaults>();
    return *current();
}

void UserDefaults::useMemoryStore() {
    current() = std::make_unique<MemoryDefaults>();
}

void UserDefaults::usePersistentStore() {
    current() = std::make_unique<SettingsDefaults>();
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    Value v = value(key);
    if (!v.isString())
        return std::nullopt;
    return v.toString();
}

std::optional<Value::List> UserDefaults::arrayForKey(const std::string& key) const {
    Value v = value(key);
    if (!v.isList())
        return std::nullopt;
    return v.toList();
}

} // namespace qrn
