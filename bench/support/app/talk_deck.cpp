#include "support/app/talk_deck.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "app/layers/layers_support.h"
#include "support/gif_writer.h"

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

// The picture files the talk's slides are made from, as a presenter drops them: a drop copies
// each into the project's images folder; an animated picture plays from its own file.
const QTemporaryDir& pictureFiles() {
    static const QTemporaryDir folder = [] {
        QTemporaryDir made;
        const auto save = [&](const char* name, const QByteArray& bytes) {
            QFile file(made.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        };
        for (int tint : {1, 3, 4})
            detailedPicture(960, 540, tint, tint == 1)
                ->save(made.filePath(QString("slide%1.png").arg(tint)));
        std::vector<QImage> frames;
        for (int f = 0; f < 12; ++f)
            frames.push_back(*detailedPicture(480, 270, f, false));
        // Twelve frames a half second, as a short looping clip.
        (void)save("clip.gif", qrn::test::pictureGif(frames, 4));
        return made;
    }();
    return folder;
}

std::string pictureFile(const char* name) {
    return pictureFiles().filePath(name).toStdString();
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
    layerstest::dropImageFile(1, pictureFile("slide1.png"), big, left, true);
    filterDroppedLayer(1, {true, false, false});
    layerstest::dropImageFile(2, pictureFile("clip.gif"), {185, 104}, {420, 200}, true);
    layerstest::dropImageFile(3, pictureFile("slide3.png"), big, left, true);
    filterDroppedLayer(3, {false, true, false});
    layerstest::dropImageFile(4, pictureFile("slide4.png"), big, left, true);
    filterDroppedLayer(4, {false, false, true});
    setCameraFilters(false, 10, false);
}

void cameraFiltersOff() {
    setCameraFilters(false, 0, false);
}

} // namespace benchsupport
