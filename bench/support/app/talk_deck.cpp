#include "support/app/talk_deck.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <string>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "app/layers/layers_support.h"

namespace benchsupport {
namespace {

// A picture with detail everywhere, so that no filter finds runs of one colour to skip: rings
// over a diagonal ramp, in the slide's tint, a green band across it for the key to take out.
qrn::ImageHandle detailedPicture(int width, int height, int tint, bool keyBand) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int ring = ((x - width / 2) * (x - width / 2) + (y - height / 2) * (y - height / 2)) / 97;
            const int ramp = (x + y) * 255 / (width + height);
            row[x] = qRgb((ramp + tint * 40) & 0xff, (ring * 7 + tint * 13) & 0xff, (ramp ^ ring) & 0xff);
        }
    }
    if (keyBand) {
        QPainter p(&image);
        p.fillRect(0, height / 3, width, height / 3, QColor(0, 255, 0));
    }
    return std::make_shared<const QImage>(std::move(image));
}

// Turns on filters (key, blur, median: in the tables' order) for the layer just dropped on
// slide `a`, with the blur at radius 10 and the key at its usual colour.
void filterDroppedLayer(int a, std::vector<bool> on) {
    previewLayerClass model;
    const int l = model.getSelectedLayerIndex(false);
    filterClass filters;
    auto flags = filters.getLayerFilter();
    auto orders = filters.getLayerFilterOrder();
    auto values = filters.getLayerFilterValues();
    if (size_t(a) >= flags.size() || l < 0 || size_t(l) >= flags[size_t(a)].size())
        return;
    flags[size_t(a)][size_t(l)] = std::move(on);
    orders[size_t(a)][size_t(l)] = {0, 1, 2};
    values[size_t(a)][size_t(l)] = {filterValuesEntry{}, filterValuesEntry{qrn::Value(10.0)},
                                    filterValuesEntry{}};
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    filters.setLayerFilterValues(values);
    model.reapplyLayerFilters(a, l);
}

void setCameraFilters(bool key, double blurRadius, bool median) {
    filterClass filters;
    filters.setVideoFilter({key, blurRadius > 0, median});
    auto values = filters.getVideoFilterValues();
    if (const auto blur = filters.filterIndex("BoxBlur"); blur && size_t(*blur) < values.size()) {
        values[size_t(*blur)] = filterValuesEntry{blurRadius > 0 ? qrn::Value(blurRadius) : qrn::Value()};
        filters.setVideoFilterValues(values);
    }
}

} // namespace

takeDeck deckFromEnvironment() {
    for (const char* name : {"QRN_BENCH_DECK", "QRN_BENCH_AUTOCUE_DECK"})
        if (const char* v = std::getenv(name); v && std::string(v) == "three")
            return takeDeck::threeSlides;
    return takeDeck::talk;
}

int slidesOf(takeDeck deck) {
    return deck == takeDeck::talk ? 5 : 3;
}

const char* nameOf(takeDeck deck) {
    return deck == takeDeck::talk ? "talk deck, 5 slides" : "3 slides";
}

void addDeckLayers(takeDeck deck) {
    if (deck == takeDeck::threeSlides) {
        // Ten layers: one per slide over the middle of the picture, seven more spread over them.
        for (int a = 1; a <= 3; ++a)
            layerstest::dropImage(a, {278, 156}, {278, 156}, 0xff000000u | (0xffu << (8 * (a - 1))));
        for (int i = 0; i < 7; ++i)
            layerstest::dropImage(1 + i % 3, {80, 60}, {60.0 + 60 * i, 60}, 0xff808080);
        setCameraFilters(true, 10, true);
        return;
    }
    // On the editing screen's picture (556 x 312 points): the pictures over half its width, the
    // animated one over a third.
    const qrn::Size big{278, 156};
    const qrn::Point left{200, 156};
    layerstest::dropImage(1, detailedPicture(960, 540, 1, true), big, left);
    filterDroppedLayer(1, {true, false, false});
    std::vector<qrn::ImageHandle> frames;
    for (int f = 0; f < 12; ++f)
        frames.push_back(detailedPicture(480, 270, f, false));
    layerstest::dropAnimated(2, std::move(frames), {185, 104}, {420, 200});
    layerstest::dropImage(3, detailedPicture(960, 540, 3, false), big, left);
    filterDroppedLayer(3, {false, true, false});
    layerstest::dropImage(4, detailedPicture(960, 540, 4, false), big, left);
    filterDroppedLayer(4, {false, false, true});
    setCameraFilters(false, 10, false);
}

void cameraFiltersOff() {
    setCameraFilters(false, 0, false);
}

} // namespace benchsupport
