// Text size: a font of size s lays out s view units high on every device, so a text takes the
// same width in view units in an offscreen image, under Xvfb and on a screen of twice the DPI.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "drawing_support.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/font.h"
#include "platform/ui/button.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace {

struct device {
    int dotsPerMeter;
    double pixelRatio;
};
// 96 dpi (offscreen images, Xvfb), 192 dpi, and both on a screen of pixel ratio 2.
const device devices[] = {{3780, 1}, {7559, 1}, {3780, 2}, {7559, 2}};

// Draws the view as its layer would be drawn (y up) on an image of that device, and returns
// the width of what it drew, in view units.
double drawnWidth(qrn::ui::View& view, const device& d) {
    const qrn::Size size = view.bounds().size;
    QImage image(int(size.width * d.pixelRatio), int(size.height * d.pixelRatio),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDotsPerMeterX(d.dotsPerMeter);
    image.setDotsPerMeterY(d.dotsPerMeter);
    image.setDevicePixelRatio(d.pixelRatio);
    {
        QPainter p(&image);
        p.setTransform(QTransform(1, 0, 0, -1, 0, size.height));
        view.draw(p, view.bounds());
    }
    const QRect ink = drawingtest::inkExtent(image, drawingtest::opaque);
    return ink.isEmpty() ? 0 : ink.width() / d.pixelRatio;
}

qrn::AttributedString written(const std::string& text, const std::string& family, double size) {
    qrn::TextAttributes a;
    a.font = qrn::fontAsStored(family, size);
    a.foregroundColour = qrn::Colour{1, 1, 1, 1};
    return qrn::AttributedString(text, a);
}

} // namespace

TEST(TextSize, ALaidOutTextIsAsWideInViewUnitsAtEveryDpiAndTheDefaultTextFitsItsBox) {
    // The default text layer: "text symbol" in Helvetica Neue (drawn by its twin) at 20, in
    // the 120 x 30 box a new text layer gets.
    auto view = qrn::ui::TextView::make(qrn::Rect(0, 0, 120, 30));
    view->setAttributedString(written("text symbol", "Helvetica Neue", 20));
    const double first = drawnWidth(*view, devices[0]);
    EXPECT_GT(first, 85.0) << "the whole text shows on one line";
    EXPECT_LT(first, 120.0);
    for (const auto& d : devices)
        EXPECT_NEAR(drawnWidth(*view, d), first, 1.0) << d.dotsPerMeter << " x" << d.pixelRatio;

    // Twice the size is twice as wide, in any family.
    auto big = qrn::ui::TextView::make(qrn::Rect(0, 0, 400, 60));
    big->setAttributedString(written("text symbol", "Helvetica Neue", 40));
    EXPECT_NEAR(drawnWidth(*big, devices[1]), 2 * first, 3.0);
    auto other = qrn::ui::TextView::make(qrn::Rect(0, 0, 400, 60));
    other->setAttributedString(written("Presenter", "DejaVu Sans", 28));
    const double dejavu = drawnWidth(*other, devices[0]);
    EXPECT_NEAR(dejavu,
                qrn::viewUnitMetrics(qrn::fontAsStored("DejaVu Sans", 28)->toQFont())
                    .tightBoundingRect("Presenter")
                    .width(),
                2.0);
    EXPECT_NEAR(drawnWidth(*other, devices[3]), dejavu, 1.0);
}

TEST(TextSize, LabelsButtonsAndFieldsDrawTheirTitlesInViewUnits) {
    QFont font = qrn::fontAsStored("Arial", 13)->toQFont();
    auto label = qrn::ui::TextField::makeLabel("Camera and microphone", qrn::Rect(0, 0, 300, 20));
    label->setFont(font);
    label->setTextColour(qrn::Colour{1, 1, 1, 1});
    auto button = qrn::ui::Button::make(qrn::Rect(0, 0, 300, 24));
    button->setBordered(false);
    button->setTitle("Camera and microphone");
    button->setFont(font);
    const double advance = qrn::viewUnitMetrics(font).horizontalAdvance("Camera and microphone");
    for (qrn::ui::View* view : std::vector<qrn::ui::View*>{label.get(), button.get()}) {
        const double first = drawnWidth(*view, devices[0]);
        EXPECT_NEAR(first, advance, 3.0);
        for (const auto& d : devices)
            EXPECT_NEAR(drawnWidth(*view, d), first, 1.0) << d.dotsPerMeter << " x" << d.pixelRatio;
    }
}

TEST(TextSize, ALineIsCentredInItsBoxWhateverItsSize) {
    for (double size : {13.0, 34.0}) {
        auto label = qrn::ui::TextField::makeLabel("QRN", qrn::Rect(0, 0, 200, size * 2));
        label->setFont(qrn::fontAsStored("DejaVu Sans", size)->toQFont());
        label->setTextColour(qrn::Colour{1, 1, 1, 1});
        QImage image(200, int(size * 2), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setTransform(QTransform(1, 0, 0, -1, 0, size * 2));
            label->draw(p, label->bounds());
        }
        const QRect ink = drawingtest::inkExtent(image, drawingtest::opaque);
        ASSERT_FALSE(ink.isEmpty());
        // Capitals sit about the middle of the box, whole.
        EXPECT_NEAR(ink.center().y(), size, size * 0.25) << size;
        EXPECT_NEAR(ink.height(), size * 0.73, size * 0.15) << size;
    }
}

TEST(TextSize, AFractionalSizeLaysOutBetweenTheWholeSizesAroundIt) {
    // Text layers take sizes such as 51.5 from the font pane; laid out at the nearest whole
    // size, a 51.5 text was as large as a 52 one.
    const auto view = [](double size) {
        auto v = qrn::ui::TextView::make(qrn::Rect(0, 0, 600, 120));
        v->setHonoursFractionalSizes(true);
        v->setAttributedString(written("text symbol", "DejaVu Sans", size));
        return v;
    };
    for (double low : {12.0, 51.0}) {
        auto below = view(low), between = view(low + 0.5), above = view(low + 1);
        const double w0 = drawnWidth(*below, devices[0]), w1 = drawnWidth(*between, devices[0]),
                     w2 = drawnWidth(*above, devices[0]);
        EXPECT_LT(w0, w1) << low;
        EXPECT_LT(w1, w2) << low;
        EXPECT_NEAR(w1, (w0 + w2) / 2, 1.5) << low;
        // The lines' heights too: the layout itself honours the half point.
        EXPECT_LT(below->usedHeight(), between->usedHeight()) << low;
        EXPECT_LT(between->usedHeight(), above->usedHeight()) << low;
        // The same at twice the DPI on a screen of pixel ratio 2.
        EXPECT_NEAR(drawnWidth(*between, devices[3]), w1, 1.0) << low;
    }
}
