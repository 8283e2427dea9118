#pragma once
// Fakes of the workspace, panel controls and colour panel that the filter classes talk to.
#include <QImage>

#include <memory>
#include <vector>

#include "Filters/filterServices.h"

struct appliedFilter {
    bool display;
    int index;
    filterValuesEntry values;
    bool video;
    bool exportData;
};

class fakeEditingHost : public filterEditingHost {
  public:
    filterValuesArray videoValues, layerValues;
    bool videoSelected = false, layerSelected = false;
    std::vector<appliedFilter> applied;

    void applyFilter(bool display, int index, const filterValuesEntry& values, bool video,
                     bool exportData) override {
        applied.push_back({display, index, values, video, exportData});
    }
    filterValuesArray getLayerFilterValues(bool video) override { return video ? videoValues : layerValues; }
    bool isVideoLayerSelected() override { return videoSelected; }
    bool isLayerSelected() override { return layerSelected; }
};

class fakeSlider : public filterSlider {
  public:
    double current = 0, minimum = 0;
    double value() const override { return current; }
    void setValue(double v) override { current = v; }
    double minValue() const override { return minimum; }
};

class fakeSwatch : public colourSwatch {
  public:
    std::optional<qrn::Colour> background;
    double borderWidth = 0, cornerRadius = 0;
    std::optional<qrn::Colour> layerBackgroundColour() const override { return background; }
    void setLayerBackgroundColour(const qrn::Colour& c) override { background = c; }
    void setLayerBorder(double width, const qrn::Colour&, double radius) override {
        borderWidth = width;
        cornerRadius = radius;
    }
};

class fakeColourPanel : public colourPanel {
  public:
    int shown = 0;
    qrn::Colour colour;
    bool showsAlpha = true;
    void show(const qrn::Colour& c, bool alpha, std::any) override {
        ++shown;
        colour = c;
        showsAlpha = alpha;
    }
};

inline qrn::ImageHandle solidImage(int w, int h, QRgb colour) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(colour);
    return std::make_shared<const QImage>(img);
}
