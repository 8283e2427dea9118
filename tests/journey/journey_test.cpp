// A presenter's journey through the real app: QRN starts through the same start-up as main(),
// with its real delegate, windows, menus and the test devices, and is driven only by mouse and
// key events on its windows and by its menu bar. Each stage checks what the presenter sees and
// what is on disk.
//
// Stages marked "awaits a mend" check behaviour that is being mended elsewhere; they stay here,
// each in its own block, so a failure names the stage that is still wrong.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AppDelegate.h"
#include "appStartup.h"
#include "journey/journey_driver.h"
#include "journey/journey_stages.h"
#include "platform/foundation/main_queue.h"
#include "platform/qt/host_window.h"
#include "platform/ui/application.h"

namespace fs = std::filesystem;

namespace {

// Runs one launch of QRN: start-up as main() does it, `session` on the running event loop, then
// the teardown main() runs after the loop. Returns the loop's exit code, or -1 when the session
// had to stop the loop itself because the app never ended (Quit or closing the last window hung).
int launch(AppDelegate& delegate, const std::vector<std::string>& args,
           const std::function<journey::Ending()>& session) {
    appStartup::install();
    if (!qrn::qt::startApplication(args, delegate)) {
        ADD_FAILURE() << "another QRN took the launch";
        return -2;
    }
    bool stoppedByTest = false;
    journey::watchDialogs();
    // The app must end the loop by itself within 5 s of Quit or of closing its last window; a
    // session that stopped early ends it at once. The timer goes with this launch.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&stoppedByTest] {
        stoppedByTest = true;
        QCoreApplication::exit(-1);
    });
    QTimer::singleShot(0, &deadline, [&] {
        const journey::Ending ending = session();
        deadline.start(ending == journey::Ending::appEnds ? 5000 : 0);
    });
    const int code = QApplication::exec();
    deadline.stop();
    qrn::qt::endApplication();
    return stoppedByTest ? -1 : code;
}

} // namespace

TEST(PresenterJourney, FromLandingThroughEditingStudioAndMovieToQuit) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const fs::path base = root.path().toStdString();
    for (const char* sub : {"projects", "movies"})
        fs::create_directories(base / sub);

    journey::Journey j(base);
    journey::watchDialogs();
    {
        AppDelegate delegate;
        // First launch: a new project, edited and saved; closing its window ends QRN.
        const int code = launch(delegate, {"qrn"}, [&] { return j.firstLaunch(); });
        if (!j.stopped()) {
            EXPECT_EQ(code, 0) << "closing the last window must end QRN by itself";
        }
        j.afterFirstLaunch();
    }
    // A second start of QRN: the process is new, so is the application's launch state, and the
    // quit requests still on their way (Qt's own for the last window, the window system's for
    // Quit) went with the old process.
    QCoreApplication::processEvents();
    QCoreApplication::removePostedEvents(nullptr, QEvent::Quit);
    qrn::ui::Application::shared().resetForTesting();
    if (!j.stopped()) {
        AppDelegate delegate;
        const int code = launch(delegate, {"qrn"}, [&] { return j.secondLaunch(); });
        if (!j.stopped()) {
            EXPECT_EQ(code, 0) << "Quit must end QRN by itself";
        }
        j.afterSecondLaunch();
    }
    journey::stopWatchingDialogs();
    // Both launches ended as main() ends them: no widget and no queued block is left.
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_EQ(qrn::MainQueue::pendingCount(), 0);
}
