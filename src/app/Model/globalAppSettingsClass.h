#pragma once
// The application's built-in settings (fresh defaults on every instance) and a little shared
// interface state: the remembered main-window frame, the colour-panel responder and the
// short-lived "just moved between screens" flag.
#include <any>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"

// What the settings need of the screen whose window frame they remember.
class MainViewHost {
  public:
    virtual ~MainViewHost() = default;
    virtual bool hasWindow() const = 0;
    virtual qrn::Point windowFrameOrigin() const = 0;
    virtual qrn::Size viewFrameSize() const = 0;
    virtual void setWindowContentSize(qrn::Size size) = 0;
    virtual void setWindowFrameOrigin(qrn::Point origin) = 0;
    // Brings the window's title bar onto a screen, and a window larger than it onto it whole.
    virtual void keepWindowOnScreen() {}
    // A full-screen frame is the screen's, not one the presenter chose for the window.
    virtual bool isFullScreen() const { return false; }
    // Makes this screen's window the project's main window (every screen that remembers the
    // frame must record its window, or saving and the about box find none).
    virtual void makeMainWindow() = 0;
};

class globalAppSettingsClass {
  public:
    globalAppSettingsClass();
    // Also restores the main-window frame when the controller's view is in a window.
    explicit globalAppSettingsClass(MainViewHost* controller);

    bool getSaveOnUserAction();
    bool getShowLogs() const { return showLogs; }
    int getMaxLayers();
    double getMinimumLayerSize();
    std::vector<std::string> getLayersZPosOrder();
    double getMinimumVideoCropSize();
    int getNumberOfAssetPreviewsInRecordView();
    bool getScriptEditorClosing() const { return scriptEditorClosing; }
    void setScriptEditorClosing();
    void releaseScriptEditorClosing();

    void setIsMainViewControllerLoading(int value);
    // Remembers the main-window frame; true when the call was only counted.
    bool setMainViewRect(MainViewHost* controller);
    std::vector<double> getMainViewRect();

    void setColourChangeResponderClass(std::any responder);
    std::any getColourChangeResponderClass();
    void setJustMovedBetweenOrReloadedScreens(bool value);
    void setJustMovedBetweenOrReloadedScreensToFalseAfterDelay();
    bool getJustMovedBetweenOrReloadedScreens();

    // Tests turn the trace log on through this; the application never does.
    static void setShowLogsForTesting(bool on);

  private:
    bool saveOnUserAction = true;
    bool showLogs = false;
    bool scriptEditorClosing = false;
    int maxLayersPerFrame = 100;
    double minimumLayerSize = 10.0;
    double minimumVideoCropSize = 30.0;
    int numberOfAssetPreviewsInRecordView = 8;
};
