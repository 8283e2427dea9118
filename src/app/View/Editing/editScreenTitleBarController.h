#pragma once
// The editing screen's title-bar buttons: new project, save, print, show or hide the camera,
// the studio, undo, redo, the camera settings, and the three settings panes. The shown pane's
// icon and the camera button keep their highlight; the accessory makes one bar per editing
// window and calls loadContent() each time it shows it.
#include <functional>
#include <memory>
#include <optional>

#include "View/Global/titleBarContentController.h"

class svgButtonClass;

class editScreenTitleBarController : public titleBarContentController {
  public:
    // Outlets, in the bar's order.
    std::shared_ptr<svgButtonClass> buttonNewProject;
    std::shared_ptr<svgButtonClass> buttonSaveProject;
    std::shared_ptr<svgButtonClass> buttonPrint;
    std::shared_ptr<svgButtonClass> buttonDisplayVideo;
    std::shared_ptr<svgButtonClass> buttonRecordView;
    std::shared_ptr<svgButtonClass> buttonUndo;
    std::shared_ptr<svgButtonClass> buttonRedo;
    std::shared_ptr<svgButtonClass> videoSettings;
    std::shared_ptr<svgButtonClass> buttonSymbolSettings;
    std::shared_ptr<svgButtonClass> buttonScriptSettings;
    std::shared_ptr<svgButtonClass> buttonLayerSettings;

    // True while the camera picture is shown.
    bool videoDisplayed = false;
    // The pane whose button is highlighted: 0 symbols, 1 script, 2 layer settings.
    int settingsMenuSelected = 0;

    // Actions.
    void newProject();
    void saveProject();
    // Shows or hides the camera picture; hiding it selects the first layer of the list.
    void record();
    void videoRecordView();
    void undo();
    void redo();
    void loadSymbolSettings();
    void loadScriptSettings();
    void loadLayerSettings();

    // The camera settings icon is highlighted exactly while its panel is loaded.
    void loadContent() override;
    void videoSettingsButtonKeepChangedColour(bool keep);
    // Every icon but undo, redo and the camera settings back to its resting colour.
    void iconsLooseColours();
    // After the studio: the camera icon (when shown) and the selected pane's icon again.
    void iconsSelected();
    void clearColourChangeForDisplayVideoButton();

    // The display-video button of the bar loaded last, for the camera code to highlight.
    static std::shared_ptr<svgButtonClass> getDisplayVideoButton();
    // The settings panes: shows pane n (nil: reloads the shown one) and answers whether the
    // shown pane changed. Unset, the bar keeps track itself: false for the pane already shown.
    static void setLoadSettingsViewHook(std::function<bool(std::optional<int>)> hook);
    // Whether the camera settings panel is loaded; unset, the panel itself answers.
    static void setVideoSettingsIsViewLoadedHook(std::function<bool()> hook);
    // The bar of the editing window, if one is loaded.
    static std::shared_ptr<editScreenTitleBarController> current();

  protected:
    void loadView() override;
    void viewDidLoad() override;

  private:
    void loadPane(int pane);
};
