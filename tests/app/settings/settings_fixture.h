#pragma once
// The editing screen of a new project with the settings panel set up, and ways to reach the
// panel's panes, tabs and the layers a test adds (an image, a text and an animated symbol).
#include <memory>
#include <string>
#include <vector>

#include "Controller/Editing/settingsViewClass.h"
#include "app/shell/shell_fixture.h"
#include "platform/ui/view.h"

class viewLoaderController;
class layerSettingsMenuViewController;
class svgIconClass;

namespace settingstest {

class SettingsPanelTest : public shelltest::EditingShellTest {
  protected:
    void TearDown() override;

    std::string projectPath() const { return dir.path().toStdString() + "/Demo.qrn3ks"; }
    viewLoaderController* createProject();
    viewLoaderController* screen();
    // The panel's container and what it shows.
    std::shared_ptr<qrn::ui::View> panel();
    std::shared_ptr<qrn::ui::View> shownPane();
    // The layer settings pane's tab content (its one subview), if the pane is shown.
    std::shared_ptr<qrn::ui::View> shownTab();
    layerSettingsMenuViewController& menu();

    // The three kinds of layer in the selected asset; ids as text.
    std::string addImageLayer();
    std::string addTextLayer();
    std::string addAnimatedLayer();
    // Selects a layer of the selected asset by id, as a click in the preview does.
    void selectLayer(const std::string& id);

    static std::vector<std::string> undoActions();
    // Whether icon `i` of the tools tab is highlighted / enabled.
    static bool highlighted(size_t i);
    static bool enabled(size_t i);
    static bool highlighted(const std::shared_ptr<svgIconClass>& icon);
    // A click through the window at the centre of a view.
    static void clickCentre(qrn::ui::View& view);
};

} // namespace settingstest
