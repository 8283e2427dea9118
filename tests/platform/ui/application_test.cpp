// Application start-up, termination and files handed over by a second launch.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "platform/foundation/main_queue.h"
#include "platform/ui/application.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

class Delegate : public ApplicationDelegate {
  public:
    std::vector<std::string> log;
    std::vector<std::string> files;
    bool quitAfterLastWindow = true;
    void applicationWillFinishLaunching() override { log.push_back("will finish"); }
    void applicationDidFinishLaunching() override { log.push_back("did finish"); }
    void applicationOpenFiles(const std::vector<std::string>& paths) override {
        log.push_back("open");
        files.insert(files.end(), paths.begin(), paths.end());
    }
    void applicationWillTerminate() override { log.push_back("will terminate"); }
    bool applicationShouldTerminateAfterLastWindowClosed() override { return quitAfterLastWindow; }
    void applicationDidBecomeActive() override { log.push_back("active"); }
};

} // namespace

TEST(Application, LaunchOpensCommandLineFilesAndQuitsAfterTheLastWindow) {
    Delegate d;
    auto& app = Application::shared();
    app.setDelegate(&d);
    int quits = 0;
    app.setQuitHandler([&] { ++quits; });
    app.finishLaunching({"qrn", "--verbose", "/tmp/one.qrn", "two.qrn"});
    EXPECT_EQ(d.log, (std::vector<std::string>{"will finish", "open", "did finish"}));
    EXPECT_EQ(d.files, (std::vector<std::string>{"/tmp/one.qrn", "two.qrn"}));
    app.setActive(true);
    EXPECT_EQ(d.log.back(), "active");

    auto a = Window::make(), b = Window::make();
    a->makeKeyAndOrderFront();
    b->makeKeyAndOrderFront();
    a->close();
    MainQueue::advance(0.1);
    EXPECT_EQ(quits, 0);
    b->close();
    MainQueue::advance(0.1);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(d.log.back(), "will terminate");
    app.setDelegate(nullptr);
}

TEST(Application, StaysWhenTheDelegateSaysSo) {
    Delegate d;
    d.quitAfterLastWindow = false;
    auto& app = Application::shared();
    app.setDelegate(&d);
    int quits = 0;
    app.setQuitHandler([&] { ++quits; });
    app.finishLaunching({"qrn"});
    auto a = Window::make();
    a->makeKeyAndOrderFront();
    a->close();
    MainQueue::advance(0.1);
    EXPECT_EQ(quits, 0);
    app.setDelegate(nullptr);
}

TEST(Application, SecondLaunchHandsItsFilesToTheRunningInstance) {
    QTemporaryDir dir;
    Delegate d;
    auto& app = Application::shared();
    app.setDelegate(&d);
    std::string name = "qrn-test-" + std::to_string(QCoreApplication::applicationPid());
    EXPECT_FALSE(Application::forwardToRunningInstance(name, {"a.qrn"})); // nobody listening yet
    ASSERT_TRUE(app.listenForOtherInstances(name));
    ASSERT_TRUE(Application::forwardToRunningInstance(name, {"/abs/b.qrn", "rel.qrn"}));
    QElapsedTimer timer;
    timer.start();
    while (d.files.size() < 2 && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_EQ(d.files.size(), 2u);
    EXPECT_EQ(d.files[0], "/abs/b.qrn");
    // Relative paths arrive made absolute against the sender's working directory.
    EXPECT_EQ(d.files[1].front(), '/');
    EXPECT_NE(d.files[1].find("rel.qrn"), std::string::npos);
    app.stopListening();
    app.setDelegate(nullptr);
}

TEST(Application, ActivationReachesObserversAfterTheDelegate) {
    Delegate d;
    auto& app = Application::shared();
    app.setDelegate(&d);
    app.setActive(false);
    std::vector<std::string> log;
    Application::ObserverToken second = 0;
    const auto first = app.addActivationObserver([&] {
        log.push_back("first after " + d.log.back());
        // An observer that goes away during the call is not called.
        app.removeActivationObserver(second);
    });
    second = app.addActivationObserver([&] { log.push_back("second"); });
    const auto third = app.addActivationObserver([&] { log.push_back("third"); });
    app.setActive(true);
    EXPECT_EQ(log, (std::vector<std::string>{"first after active", "third"}));

    // Only becoming active counts, and only a change.
    app.setActive(true);
    app.setActive(false);
    EXPECT_EQ(log.size(), 2u);
    app.removeActivationObserver(first);
    app.removeActivationObserver(third);
    app.setActive(true);
    EXPECT_EQ(log.size(), 2u);
    app.setActive(false);
    app.setDelegate(nullptr);
}
