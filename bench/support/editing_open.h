#pragma once
// The editing screen a presenter opens a project into: QRN started as the host starts it, on
// the manual clock, and File > Open answered with a package, so that a benchmark measures what
// the presenter waits for (the preview, the slide strip's miniatures and the layer list's tiles),
// and waits until every picture shows.
#include <memory>
#include <string>

class AppDelegate;

namespace benchsupport {

class editingScreenApp {
  public:
    // The application on its landing screen; settings kept in memory.
    editingScreenApp();
    ~editingScreenApp();
    editingScreenApp(const editingScreenApp&) = delete;
    editingScreenApp& operator=(const editingScreenApp&) = delete;

    // File > Open of `package` through the menu, until the editing screen is editable (its own
    // delays have run). False when the editing screen does not show the package.
    bool open(const std::string& package);
    // Runs the main queue until every picture of the opened project is shown; false when some
    // still wait after `seconds` of real time.
    static bool waitForEveryPicture(double seconds = 120);
    // Views of the open windows that still show a picture's 1x1 stand-in.
    static int standInsShown();
    // Closes the main window with its project and lets the delayed blocks land: the next open
    // starts from no window, as an open request after the main window closed does.
    void close();

  private:
    std::unique_ptr<AppDelegate> delegate;
    std::string answer;
};

} // namespace benchsupport
