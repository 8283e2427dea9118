#include "platform/foundation/value.h"

#include <ostream>
#include <sstream>

namespace qrn {

namespace {
const std::string kEmptyString;
const ColourArray kEmptyColour;
const ImageHandle kNoImage;
const Value::List kEmptyList;

std::string formatReal(double d) {
    std::ostringstream s;
    s.precision(15);
    s << d;
    std::string out = s.str();
    if (out.find_first_of(".eEn") == std::string::npos)
        out += ".0";
    return out;
}
} // namespace

bool Value::toBool(bool fallback) const {
    if (auto p = std::get_if<bool>(&data_))
        return *p;
    return fallback;
}

std::int64_t Value::toInt(std::int64_t fallback) const {
    if (auto p = std::get_if<std::int64_t>(&data_))
        return *p;
    // A real that no 64-bit integer holds (NaN included) would be undefined to convert.
    if (auto p = std::get_if<double>(&data_))
        return *p >= -0x1p63 && *p < 0x1p63 ? static_cast<std::int64_t>(*p) : fallback;
    return fallback;
}

double Value::toReal(double fallback) const {
    if (auto p = std::get_if<double>(&data_))
        return *p;
    if (auto p = std::get_if<std::int64_t>(&data_))
        return static_cast<double>(*p);
    return fallback;
}

const std::string& Value::toString() const {
    if (auto p = std::get_if<std::string>(&data_))
        return *p;
    return kEmptyString;
}

const ColourArray& Value::toColour() const {
    if (auto p = std::get_if<ColourBox>(&data_))
        return p->c;
    return kEmptyColour;
}

const ImageHandle& Value::toImage() const {
    if (auto p = std::get_if<ImageHandle>(&data_))
        return *p;
    return kNoImage;
}

const Value::List& Value::toList() const {
    if (auto p = std::get_if<List>(&data_))
        return *p;
    return kEmptyList;
}

const std::string& Value::toObjectJson() const {
    if (auto p = std::get_if<ObjectBox>(&data_))
        return p->json;
    return kEmptyString;
}

Value::List& Value::mutableList() {
    if (!isList())
        data_ = List{};
    return std::get<List>(data_);
}

bool operator==(const Value& a, const Value& b) {
    return a.data_ == b.data_;
}

std::string Value::describe() const {
    switch (type()) {
    case Type::Empty:
        return "nil";
    case Type::Bool:
        return toBool() ? "true" : "false";
    case Type::Integer:
        return std::to_string(toInt());
    case Type::Real:
        return formatReal(toReal());
    case Type::String:
        return "\"" + toString() + "\"";
    case Type::Colour: {
        std::string s = "colour[";
        for (size_t i = 0; i < toColour().size(); ++i)
            s += (i ? ", " : "") + formatReal(toColour()[i]);
        return s + "]";
    }
    case Type::Image: {
        auto& img = toImage();
        if (!img)
            return "image(nil)";
        return "image(" + std::to_string(img->width()) + "x" + std::to_string(img->height()) + ")";
    }
    case Type::List: {
        std::string s = "[";
        const auto& l = toList();
        for (size_t i = 0; i < l.size(); ++i)
            s += (i ? ", " : "") + l[i].describe();
        return s + "]";
    }
    case Type::Object:
        return toObjectJson();
    }
    return "";
}

void PrintTo(const Value& v, std::ostream* os) {
    *os << v.describe();
}

} // namespace qrn
