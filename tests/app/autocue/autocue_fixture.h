#pragma once
// The autocue window opened by hand (offscreen) over a script list and a studio asset list that
// each test sets, on the manual main-queue clock: a shortcut for tests of the window's own
// controls, whose suites say so. The studio's tests open it with its title-bar button.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Controller/Recording/autocueDisplayClass.h"
#include "View/Recording/autocueDisplayController.h"
#include "platform/foundation/attributed_string.h"

namespace autocuetest {

// A script in one font: `lines` lines of "Line n" at `size` points.
qrn::AttributedString script(int lines, double size = 20, const std::string& family = "DejaVu Sans");
// A run of text in a font.
qrn::AttributedString run(const std::string& text, double size, const std::string& family = "DejaVu Sans");

class AutocueTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The scripts of assets 1... and `assets` asset ids in the studio (default: one more than
    // the scripts).
    void setScripts(std::vector<qrn::AttributedString> scripts, int assets = -1);
    // Opens the window by hand and, unless told otherwise, lets its first sizing pass run.
    void open(bool settle = true);
    static void advance(double seconds);

    autocueDisplayController& window() const { return *controller; }
    // The text's top distance as the window shows it.
    double top() const;
    bool playing() const { return autocueDisplayClass().getAnimationIsPlaying(); }
    // Whether an icon button of the window holds its highlight.
    static bool highlighted(const std::shared_ptr<svgButtonClass>& button);
    // Sizes of the shown text's font runs, in order.
    static std::vector<double> shownSizes();

    std::shared_ptr<autocueDisplayController> controller;
    int assetCount = 0;
};

} // namespace autocuetest
