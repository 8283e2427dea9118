#pragma once
// Fonts by name and size. Qt quietly substitutes a fallback for any family it does not know,
// so lookups here check that the family (and face) is really installed and fail otherwise.
#include <QFont>

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

    QFont toQFont() const;
};

// Looks a font up by display name or family name (case-insensitive). None when no installed
// family matches, or the size is not positive.
std::optional<Font> fontNamed(const std::string& name, double size);
// The regular face of a family.
std::optional<Font> fontWithFamily(const std::string& family, double size);
// Installed families, in the font database's order.
std::vector<std::string> installedFontFamilies();
// Best match for a QFont as one of our fonts (falls back to the resolved family).
Font fontFromQFont(const QFont& f);

} // namespace qrn
