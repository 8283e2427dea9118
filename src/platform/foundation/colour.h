#pragma once
// An sRGB colour with components 0...1 (not premultiplied).
#include <QColor>

#include <optional>
#include <string>
#include <vector>

namespace qrn {

struct Colour {
    double red = 0, green = 0, blue = 0, alpha = 1;
    friend bool operator==(const Colour&, const Colour&) = default;

    static Colour fromQColor(const QColor& c) { return {c.redF(), c.greenF(), c.blueF(), c.alphaF()}; }
    QColor toQColor() const { return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha)); }
    static Colour clear() { return {0, 0, 0, 0}; }
    static Colour black() { return {0, 0, 0, 1}; }
    static Colour white() { return {1, 1, 1, 1}; }
};

// Named interface colours from the application's colour table, in the light or dark appearance.
// None when the table has no such name.
std::optional<Colour> namedColour(const std::string& name, bool dark);
// Every name in the table.
std::vector<std::string> namedColourNames();

} // namespace qrn
