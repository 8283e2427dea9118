#pragma once
// A fixture for the application shell: the scenes registered as the application registers
// them, a fresh standard menu, recorders for alerts, panels and web pages, temporary project
// packages, and every piece of shell state put back afterwards.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "AppDelegate.h"
#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "platform/ui/panels.h"
#include "platform/ui/window.h"

namespace shelltest {

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A package "<name>.qrn3ks" whose projectData.json names every key; `valid` false leaves
    // one key out.
    std::string makeProject(const std::string& name, bool valid = true);
    // Starts the application as the host does (will-finish, files, did-finish) and lets the
    // landing screen settle.
    void launch(const std::vector<std::string>& files = {});
    // The main window and the screen it shows.
    qrn::ui::Window* mainWindow() const;
    qrn::ui::ViewController* shownScreen() const;
    std::string shownScreenIdentifier() const;
    // Advances the manual clock.
    static void advance(double seconds);
    // A click at a point of `view`'s bounds, through its window.
    static void click(qrn::ui::View& view, qrn::Point pointInBounds);

    AppDelegate delegate;
    QTemporaryDir dir;
    std::vector<std::string> alerts;
    std::vector<std::string> openedAddresses;
    int savePanelsShown = 0;
    int openPanelsShown = 0;
    // What the next panels answer: a path (OK) or none (Cancel).
    std::deque<std::optional<std::string>> panelAnswers;
    std::vector<std::tuple<bool, bool, bool>> imports;
};

// For tests that show a project on the editing screen: the screen leaves the camera's place and
// the filter tables behind, so later tests in the same process start from what was there before.
class EditingShellTest : public ShellTest {
  protected:
    void SetUp() override;
    void TearDown() override;

  private:
    layerFilterArray flags;
    layerFilterOrderArray orders;
    layerFilterValuesArray values;
    std::vector<bool> videoFilter;
    filterValuesArray videoValues;
    std::vector<double> videoFrame;
    qrn::Size videoScale;
};

} // namespace shelltest
