#pragma once
// Fonts by name and size. Qt quietly substitutes a fallback for any family it does not know,
// so lookups here check that the family (and face) is really installed and fail otherwise.
// Projects, though, keep the names they were written with: a font read from a project that is
// not installed here keeps its name and is drawn with an installed stand-in of the same metrics.
#include <QFont>
#include <QFontMetricsF>

class QPaintDevice;

#include <optional>
#include <string>
#include <vector>

namespace qrn {

struct Font {
    // The display name: the family for the regular face, "Family Style" for another face.
    std::string name;
    std::string family;
    std::string style;
    double size = 12;
    friend bool operator==(const Font&, const Font&) = default;

    // The font to draw with: this family when it is installed, else its stand-in
    // (drawingFamily), in the nearest face.
    QFont toQFont() const;
};

// Looks a font up by display name or family name (case-insensitive). None when no installed
// family matches, or the size is not positive.
std::optional<Font> fontNamed(const std::string& name, double size);
// The regular face of a family.
std::optional<Font> fontWithFamily(const std::string& family, double size);
// A font as a project names it: the installed font when fontNamed finds one, otherwise the name
// kept exactly as written. None only for an empty name or a size that is not positive.
std::optional<Font> fontAsStored(const std::string& name, double size);
// The installed family that draws `family`: the family itself when installed; Nimbus Sans for
// Helvetica and Helvetica Neue, Liberation Sans for Arial (same metrics, so text keeps its
// layout); DejaVu Sans for anything else.
std::string drawingFamily(const std::string& family);
// Installed families, in the font database's order, each once.
std::vector<std::string> installedFontFamilies();
// Best match for a QFont as one of our fonts (falls back to the resolved family).
Font fontFromQFont(const QFont& f);

// --- Text size. A font of size s is s view units high, on every screen and in every image:
// view geometry is in points, and a high-DPI screen scales the whole view, pictures and text
// alike. Qt instead turns point sizes into pixels through the DPI of whatever it draws on, so
// every text is laid out against one device of 72 dots per inch, where a point is a unit.
// (Qt's font engines draw whole pixel sizes: a fractional size draws at the nearest one.)

// The device to lay text out against (a QTextDocument's layout, a QTextLayout, metrics).
QPaintDevice* textLayoutDevice();
// Qt lays glyphs out at whole pixel sizes of the device, so on the device above a text of 51.5
// lays out as one of 52. Text that must honour fractional sizes (text layers, which are sized
// in points and then scaled with the picture) is laid out on a device this many times finer
// and drawn scaled back by its inverse; lengths measured there are divided by it.
inline constexpr double fineTextLayoutScale = 8.0;
QPaintDevice* fineTextLayoutDevice();
// Metrics of a font in view units.
QFontMetricsF viewUnitMetrics(const QFont& font);
// The same font sized in whole pixels (view units), for Qt widgets, which size point fonts by
// their screen. Qt takes only whole pixel sizes, so a fractional size is rounded.
QFont viewUnitFont(const QFont& font);

} // namespace qrn
