#pragma once
// A studio made by hand for unit tests of the take: a preview with assets (each with one
// solid-colour layer) built as the editing screen builds it and used as the studio's recording
// view, the strip, the playback area, the record button and the title bar's five buttons,
// handed straight to the studio's state, and a project folder. It skips opening the studio, so
// its suites say "StudioByHand"; the tests in take_app_test.cpp and tests/app/studio open the
// studio with its button and press its controls.
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "Controller/Recording/recordViewClass.h"
#include "app/preview/preview_fixture.h"

class svgButtonClass;

namespace taketest {

// Colours of the layers of assets 1, 2, 3 ...: red, green, blue, then yellow, magenta, cyan.
unsigned assetColour(int asset);

struct studioByHand {
    // `assets` presenter's assets after the sticky one; each gets a 300 x 200 layer at the
    // preview's centre in its colour, unless `withLayers` is false.
    explicit studioByHand(int assets, bool withLayers = true);
    ~studioByHand();

    previewtest::previewScene scene;
    std::vector<std::string> layerIds; // [asset] -> its layer, "" for the sticky asset
    recordViewClass::takeScreen views;
    QTemporaryDir project;
    // What the studio's message line shows, "" when hidden.
    std::string message() const;
    // Hands `views` to the studio's state (after a test changed them).
    void sync();

    std::shared_ptr<svgButtonClass> button(size_t i) const;
    // The holder view of a layer id, the container of an asset id.
    std::shared_ptr<qrn::ui::View> holder(const std::string& layerId) const;
    std::shared_ptr<qrn::ui::View> container(const std::string& assetId) const;
    // The strip's card n (1 ... 8).
    std::shared_ptr<qrn::ui::View> card(int n) const;
    // Builds the strip and shows asset 1 as opening the studio does.
    void open();
    // Files in the project folder with the extension ".mov".
    std::vector<std::string> movies() const;
};

// The take's time on the capture clock is moved so that "now" is `seconds` into the recording.
void recordingAt(double seconds);
// Pumps the main queue until done, up to `timeout` seconds of real time, moving the manual
// clock on as real time passes.
bool pumpUntil(const std::function<bool()>& done, double timeout = 120);

} // namespace taketest
