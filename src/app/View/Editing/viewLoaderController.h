#pragma once
// The editing screen ("viewLoader"): the preview (its parent with the drop view over it), the
// asset strip with the sticky tile, the layer list, the background boxes and the settings pane.
// It builds the editing logic when its views load, loads the project on its first appearance,
// names itself the active screen, keeps the window frame and relays the preview out when the
// window changes size, and cleans up when the window closes.
#include <memory>
#include <optional>

#include "platform/foundation/colour.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

class screenTitleBarAccessoryViewController;
namespace qrn::ui {
class ScrollView;
class ProgressIndicator;
class TextField;
class Button;
} // namespace qrn::ui

class viewLoaderController : public qrn::ui::ViewController, public qrn::ui::WindowDelegate {
  public:
    bool acceptsFirstResponder() const override { return true; }
    void windowWillClose(qrn::ui::Window& w) override;
    void windowDidMove(qrn::ui::Window& w) override;
    void windowDidResize(qrn::ui::Window& w) override;
    void windowDidBecomeKey(qrn::ui::Window& w) override;
    void windowWillMiniaturize(qrn::ui::Window& w) override;

    // The title-bar accessory the editing screen added to the main window, if any.
    static std::shared_ptr<screenTitleBarAccessoryViewController> getTitleBarAccessory();
    // What the first editing window of the process sets up, forgotten as closing the window does.
    static void forgetFirstAppearanceForTesting();

    // The add-asset button's action; nothing while a project is being imported.
    void addAssetButton();
    // The colour panel's change: the selected asset's background, unless another panel owns the
    // colour, the screen has just been switched, or the check says the change was a load.
    void changeColor(const qrn::Colour& colour);
    // Drops the objects the screen keeps.
    void clearClass();

    // Outlets.
    std::shared_ptr<qrn::ui::View> mainView;
    std::shared_ptr<qrn::ui::View> settingsView;
    std::shared_ptr<qrn::ui::ProgressIndicator> videoLoadingIcon;
    std::shared_ptr<qrn::ui::TextField> videoLabel;
    std::shared_ptr<qrn::ui::View> parentPreviewView;
    std::shared_ptr<qrn::ui::View> dragView;
    std::shared_ptr<qrn::ui::View> stickyAsset;
    std::shared_ptr<qrn::ui::Button> addAssetButtonView;
    std::shared_ptr<qrn::ui::ScrollView> assetTableView;
    std::shared_ptr<qrn::ui::View> backgroundColourView;
    std::shared_ptr<qrn::ui::View> backgroundLayerView;
    std::shared_ptr<qrn::ui::ScrollView> layerTableView;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;

  private:
    void viewsLoaded();
    std::optional<bool> returnFlag_;
};
