#pragma once
// A tagged value for the heterogeneous lists the model keeps (filter slots, undo entries,
// settings arrays).
#include <QImage>

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace qrn {

// Four numbers [red, green, blue, alpha] as the project stores colours.
using ColourArray = std::vector<double>;
// Images are shared, never copied, when values are copied.
using ImageHandle = std::shared_ptr<const QImage>;

class Value {
  public:
    enum class Type { Empty, Bool, Integer, Real, String, Colour, Image, List, Object };
    using List = std::vector<Value>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool b) : data_(b) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) Value(T i) : data_(static_cast<std::int64_t>(i)) {}
    Value(double d) : data_(d) {}
    Value(const char* s) : data_(std::string(s)) {}
    Value(std::string s) : data_(std::move(s)) {}
    Value(ColourArray c) : data_(ColourBox{std::move(c)}) {}
    Value(ImageHandle img) : data_(std::move(img)) {}
    Value(List l) : data_(std::move(l)) {}

    static Value colour(double r, double g, double b, double a) { return Value(ColourArray{r, g, b, a}); }
    static Value list(std::initializer_list<Value> items) { return Value(List(items)); }
    // A JSON object carried through unread: its compact text with keys sorted, so two objects
    // with the same content are equal and it is written back as it was read.
    static Value object(std::string canonicalJson) { return Value(ObjectBox{std::move(canonicalJson)}); }

    Type type() const { return static_cast<Type>(data_.index()); }
    bool isEmpty() const { return type() == Type::Empty; }
    bool isBool() const { return type() == Type::Bool; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isColour() const { return type() == Type::Colour; }
    bool isImage() const { return type() == Type::Image; }
    bool isList() const { return type() == Type::List; }
    bool isObject() const { return type() == Type::Object; }

    // Accessors return a neutral value when the type differs; numbers convert between kinds
    // (a real out of the integer range gives the fallback).
    bool toBool(bool fallback = false) const;
    std::int64_t toInt(std::int64_t fallback = 0) const;
    double toReal(double fallback = 0) const;
    const std::string& toString() const;
    const ColourArray& toColour() const;
    const ImageHandle& toImage() const;
    const List& toList() const;
    // The object's JSON text; empty for any other type.
    const std::string& toObjectJson() const;
    List& mutableList();

    // Equal when the types and contents are equal; images compare by identity.
    friend bool operator==(const Value& a, const Value& b);
    // A short readable form for logs and test failures.
    std::string describe() const;

  private:
    struct ColourBox {
        ColourArray c;
        friend bool operator==(const ColourBox&, const ColourBox&) = default;
    };
    struct ObjectBox {
        std::string json;
        friend bool operator==(const ObjectBox&, const ObjectBox&) = default;
    };
    explicit Value(ObjectBox o) : data_(std::move(o)) {}
    std::variant<std::monostate, bool, std::int64_t, double, std::string, ColourBox, ImageHandle, List,
                 ObjectBox>
        data_;
};

void PrintTo(const Value& v, std::ostream* os);

} // namespace qrn
