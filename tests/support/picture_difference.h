#pragma once
// How far two pictures are apart, for comparing a reader's picture with Qt's.
#include <QImage>

#include <algorithm>
#include <cstdlib>

namespace qrn::test {

// The largest difference of any channel of any pixel; -1 when the sizes differ.
inline int worstDifference(const QImage& mine, const QImage& theirs) {
    if (mine.size() != theirs.size())
        return -1;
    int worst = 0;
    for (int y = 0; y < mine.height(); ++y)
        for (int x = 0; x < mine.width(); ++x)
            for (int shift = 0; shift < 32; shift += 8)
                worst = std::max(worst, std::abs(int((mine.pixel(x, y) >> shift) & 0xff) -
                                                 int((theirs.pixel(x, y) >> shift) & 0xff)));
    return worst;
}

} // namespace qrn::test
