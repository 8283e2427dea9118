#pragma once
// Fonts by name and size. Qt quietly substitutes a fallback for any family it does not know,
// so lookups here check that the family (and face) is really installed and fail otherwise.
// Projects, though, keep the names they were written with: a font read from a project that is
// not installed here keeps its name and is drawn with an installed stand-in of the same metrics.
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

} // namespace qrn
