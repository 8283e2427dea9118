#pragma once
// The recording studio as the rest of the program sees it: whether it is the shown screen,
// whether it is recording, and how it is left. The studio itself comes later; until then it is
// never shown.
#include <functional>

class viewLoaderClass;

class recordViewClass {
  public:
    bool getRecordViewSelected();
    // True while a recording is being written (the movie output is recording).
    bool getRecordingInProgress();
    void clearClass();
    // Returns to the editing screen, unless a recording has started.
    void dismissView();
    void setViewLoaderObject(const viewLoaderClass& object);
    // Steps the studio to the next asset; a click in the preview does so while it is shown.
    void selectNextAsset();

    // Until the studio exists, tests and the studio stand in through these.
    static void setStudioState(bool shown, bool recording);
    static void setDismissHandler(std::function<void()> handler);
    static void setClearHandler(std::function<void()> handler);
};
