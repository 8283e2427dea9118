#pragma once
// The camera and microphone chooser's logic: it fills the two lists ("No camera" / "No audio",
// then the devices), preselects the chosen devices without switching anything, and switches the
// session when the presenter picks another. The first two selection notices after each loading
// are the lists' own filling and are let pass.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/geometry.h"

class videoSettingsController;
namespace qrn::ui {
class View;
class ComboBox;
class Window;
} // namespace qrn::ui

// The chooser's views, in the order the controller holds them.
struct videoSettingsViewsGroup {
    std::shared_ptr<qrn::ui::View> videoIconView;
    std::shared_ptr<qrn::ui::ComboBox> videoCombobox;
    std::shared_ptr<qrn::ui::View> audioIconView;
    std::shared_ptr<qrn::ui::ComboBox> audioCombobox;
    std::shared_ptr<qrn::ui::View> filterSettingsView;
};

class videoSettingsClass {
  public:
    using ViewPtr = std::shared_ptr<qrn::ui::View>;

    // Whether the chooser has been loaded once in this run (the title bars highlight their
    // button from then on).
    bool isViewLoaded();
    void loadContent();
    // Closes the chooser's window when it is open.
    void closeWindow();
    // Opens the chooser in a window of its own beside the main window, or brings it to the front.
    void showWindow();
    // Where the chooser's window opens for the given main window (content rectangle, screen
    // space, y up): clear of the studio's next-slide card and of the autocue where it can be.
    static qrn::Rect windowFrameBeside(qrn::ui::Window& main);
    // Removes the filter list.
    void clearClass();
    void changeVideo(const std::string& deviceName);
    void changeAudio(const std::string& deviceName);
    void comboBoxSelectionDidChange(qrn::ui::ComboBox& comboBox);

    void setVideoSettingsViewController(std::shared_ptr<videoSettingsController> controller);
    std::shared_ptr<videoSettingsController> getVideoSettingsViewController();
    void setVideoSettingsViews(std::optional<videoSettingsViewsGroup> views);
    int getComboBoxChangeCounter();
    void setComboBoxChangeCounter(int value);

    // The camera's ordered filter list (the filter panels build it); nothing is shown until set.
    static void setConstructOrderedListHook(std::function<ViewPtr(const ViewPtr& host, bool video)> hook);
    // The editing title bar keeps its video-settings button highlighted while the chooser shows.
    static void setEditingHighlightHook(std::function<void(bool keep)> hook);
    static void editingHighlightThroughHook(bool keep);
    static void setCloseHandler(std::function<void()> handler);
    static void resetForTesting();
};
