#include "Model/stylingClass.h"

#include <cmath>

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/user_defaults.h"

namespace {

std::optional<std::string> interfaceStyleValue;

const char* const kPalette[] = {
    "border_colour_light_dark", "background_colour_dark_dark", "background_colour_light_dark",
    "text_colour_red_dark",     "icon_colour_light_dark",      "icon_colour_hover_dark",
    "icon_colour_dark_dark",    "text_colour_dark_dark",       "text_colour_light_dark",
    "border_colour_dark_dark",
};
constexpr int kPaletteSize = static_cast<int>(sizeof kPalette / sizeof kPalette[0]);

qrn::Value arrayValue(const std::vector<double>& values) {
    return qrn::Value(qrn::ColourArray(values));
}

qrn::Value colourValue(const qrn::Colour& c) {
    return qrn::Value::colour(c.red, c.green, c.blue, c.alpha);
}

} // namespace

std::optional<qrn::Colour> colourFromHex(const std::string& hex) {
    if (hex.empty() || hex[0] != '#')
        return std::nullopt;
    std::string digits = hex.substr(1);
    if (digits.size() != 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return qrn::Colour{((value >> 24) & 0xFF) / 255.0, ((value >> 16) & 0xFF) / 255.0,
                       ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0};
}

std::vector<double> stylingClass::colourToArray(const qrn::Colour& nsColor, std::optional<double> alphaValue,
                                                bool returnFloats) {
    QRN_LOG_IN({{"nsColor", colourValue(nsColor)},
                {"alphaValue", alphaValue ? qrn::Value(*alphaValue) : qrn::Value()},
                {"returnFloats", returnFloats}});
    // std::round rounds halves away from zero.
    std::vector<double> out{std::round(nsColor.red * 255), std::round(nsColor.green * 255),
                            std::round(nsColor.blue * 255), alphaValue.value_or(nsColor.alpha)};
    if (!returnFloats)
        out[3] = std::round(out[3]);
    QRN_LOG_OUT({{"COLOUR_ARRAY", arrayValue(out)}});
    return out;
}

qrn::Colour stylingClass::arrayToColour(const std::vector<double>& RGB_ARRAY) {
    QRN_LOG_IN({{"RGB_ARRAY", arrayValue(RGB_ARRAY)}});
    // A short array comes only from a damaged file; black keeps the caller drawing something.
    qrn::Colour colour = qrn::Colour::black();
    if (RGB_ARRAY.size() >= 4)
        colour = {RGB_ARRAY[0] / 255, RGB_ARRAY[1] / 255, RGB_ARRAY[2] / 255, RGB_ARRAY[3]};
    QRN_LOG_OUT({{"colour", colourValue(colour)}});
    return colour;
}

std::string stylingClass::paletteName(int index) {
    if (index < 0 || index >= kPaletteSize)
        return "";
    return kPalette[index];
}

qrn::Colour stylingClass::getColour(int index) {
    QRN_LOG_IN({{"index", index}});
    qrn::Colour colour = *colourFromHex("#FFFFFF00");
    // The application always runs in its dark appearance, so the named colours take their dark values.
    if (auto named = qrn::namedColour(paletteName(index), true))
        colour = *named;
    QRN_LOG_OUT({{"colour", colourValue(colour)}});
    return colour;
}

std::string stylingClass::interfaceStyle() {
    if (!interfaceStyleValue) {
        auto stored = qrn::UserDefaults::standard().stringForKey("AppleInterfaceStyle");
        // Only "Dark" means dark; anything else, or nothing, is the light style.
        interfaceStyleValue = (stored && *stored == "Dark") ? "Dark" : "Light";
    }
    return *interfaceStyleValue;
}

void stylingClass::resetInterfaceStyleForTesting() {
    interfaceStyleValue.reset();
}
