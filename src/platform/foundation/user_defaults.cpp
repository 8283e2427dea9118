#include "platform/foundation/user_defaults.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QSettings>
#include <QVariant>

#include <cmath>
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

// The settings file is text: a list of numbers written as such comes back as a list of strings.
// Lists are kept as JSON, which says what each element is.
QJsonValue toJson(const Value& v) {
    switch (v.type()) {
    case Value::Type::Bool:
        return v.toBool();
    case Value::Type::Integer:
        return static_cast<qint64>(v.toInt());
    case Value::Type::Real:
        return v.toReal();
    case Value::Type::String:
        return QString::fromStdString(v.toString());
    case Value::Type::Colour: {
        QJsonArray a;
        for (double c : v.toColour())
            a.append(c);
        return a;
    }
    case Value::Type::List: {
        QJsonArray a;
        for (const auto& item : v.toList())
            a.append(toJson(item));
        return a;
    }
    default:
        return QJsonValue();
    }
}

Value fromJson(const QJsonValue& j) {
    switch (j.type()) {
    case QJsonValue::Bool:
        return Value(j.toBool());
    case QJsonValue::Double: {
        const double d = j.toDouble();
        if (d == std::floor(d) && std::abs(d) < 9.0e15)
            return Value(static_cast<std::int64_t>(d));
        return Value(d);
    }
    case QJsonValue::String:
        return Value(j.toString().toStdString());
    case QJsonValue::Array: {
        Value::List l;
        for (const auto& item : j.toArray())
            l.push_back(fromJson(item));
        return Value(std::move(l));
    }
    default:
        return Value();
    }
}

class SettingsDefaults : public UserDefaults {
  public:
    Value value(const std::string& key) const override {
        const QVariant stored = settings_.value(QString::fromStdString(key));
        if (stored.typeId() == QMetaType::QJsonArray)
            return fromJson(stored.toJsonArray());
        return fromVariant(stored);
    }
    void set(const std::string& key, const Value& v) override {
        const bool list = v.type() == Value::Type::List || v.type() == Value::Type::Colour;
        settings_.setValue(QString::fromStdString(key), list ? QVariant(toJson(v).toArray()) : toVariant(v));
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
