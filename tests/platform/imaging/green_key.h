#pragma once
// A colour cube that keys out bright greens, for the filter tests: an n x n x n table, coarse
// enough at small n that most cells blend between kept and keyed colours.
#include <memory>
#include <vector>

#include "platform/imaging/colour_cube.h"

namespace qrn::imaging {

inline std::shared_ptr<const ColourCube> greenKeyCube(int n) {
    std::vector<float> data;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const float fr = r / float(n - 1), fg = g / float(n - 1), fb = b / float(n - 1);
                const float a = fg > 0.6f && fg > fr + 0.3f && fg > fb + 0.3f ? 0.0f : 1.0f;
                for (float v : {fr * a, fg * a, fb * a, a})
                    data.push_back(v);
            }
    return std::make_shared<const ColourCube>(n, std::move(data));
}

} // namespace qrn::imaging
