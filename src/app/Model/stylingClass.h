#pragma once
// Colours: hexadecimal text, the stored [red 0-255, green, blue, alpha 0-1] arrays, the ten
// interface colours by palette index, and the light or dark appearance.
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/colour.h"

// "#RRGGBBAA" (exactly eight hex digits after "#"); none otherwise.
std::optional<qrn::Colour> colourFromHex(const std::string& hex);

class stylingClass {
  public:
    // alphaValue: none takes the colour's own alpha. returnFloats false rounds every element.
    std::vector<double> colourToArray(const qrn::Colour& nsColor, std::optional<double> alphaValue,
                                      bool returnFloats);
    // RGB_ARRAY needs at least four elements; fewer gives opaque black.
    qrn::Colour arrayToColour(const std::vector<double>& RGB_ARRAY);
    // Indexes 0-9 name the interface colours; anything else is transparent white.
    qrn::Colour getColour(int index);
    // The named colour of a palette index, empty for an index out of range.
    static std::string paletteName(int index);
    // "Light" or "Dark", from the user default "AppleInterfaceStyle", worked out once.
    std::string interfaceStyle();
    static void resetInterfaceStyleForTesting();
};
