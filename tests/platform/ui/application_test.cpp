// Application start-up, termination and files handed over by a second launch.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "platform/foundation/alerts.h"
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

// Sets an environment variable for the length of a test.
class scopedVariable {
  public:
    scopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? qputenv(name, value->c_str()) : qunsetenv(name);
    }
    ~scopedVariable() { old_ ? qputenv(name_, old_->c_str()) : qunsetenv(name_); }
    scopedVariable(const scopedVariable&) = delete;
    scopedVariable& operator=(const scopedVariable&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// A socket file nobody listens on, as a killed instance leaves it.
void leaveDeadSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

// Runs the event loop until the delegate has `count` files or five seconds passed.
void waitForFiles(const Delegate& d, size_t count) {
    QElapsedTimer timer;
    timer.start();
    while (d.files.size() < count && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace

TEST(Application, TheInstanceSocketLiesWhereOnlyThisUserCanReachIt) {
    QTemporaryDir runtime, temporary;
    const std::string runtimePath = runtime.path().toStdString();
    const std::string temporaryPath = temporary.path().toStdString();
    const std::string uid = std::to_string(::getuid());
    ::chmod(runtimePath.c_str(), 0700);
    scopedVariable tmp("TMPDIR", temporaryPath);
    {
        scopedVariable xdg("XDG_RUNTIME_DIR", runtimePath);
        EXPECT_EQ(Application::instanceName(), runtimePath + "/qrn-instance");
        // A runtime folder others may enter is not used.
        ::chmod(runtimePath.c_str(), 0755);
        EXPECT_EQ(Application::instanceName(), temporaryPath + "/qrn-" + uid + "/instance");
        EXPECT_EQ(modeOf(temporaryPath + "/qrn-" + uid) & 0777, 0700u);
    }
    {
        scopedVariable xdg("XDG_RUNTIME_DIR", std::nullopt);
        EXPECT_EQ(Application::instanceName(), temporaryPath + "/qrn-" + uid + "/instance");
        // A folder under that name that others may enter, or a link, could be someone else's
        // doing: there is then no hand-over at all.
        ::chmod((temporaryPath + "/qrn-" + uid).c_str(), 0777);
        EXPECT_EQ(Application::instanceName(), "");
        ::rmdir((temporaryPath + "/qrn-" + uid).c_str());
        ASSERT_EQ(::symlink(runtimePath.c_str(), (temporaryPath + "/qrn-" + uid).c_str()), 0);
        ::chmod(runtimePath.c_str(), 0700);
        EXPECT_EQ(Application::instanceName(), "");
        EXPECT_FALSE(Application::forwardToRunningInstance("", {"a.qrn"}));
        EXPECT_FALSE(Application::shared().listenForOtherInstances(""));
    }
}

TEST(Application, OnlyASocketOfThisUsersIsTalkedToOrReplaced) {
    QTemporaryDir dir;
    Delegate d;
    auto& app = Application::shared();
    app.setDelegate(&d);
    const std::string name = dir.path().toStdString() + "/instance";

    // Anything else under the name is neither written to nor removed.
    std::ofstream(name) << "kept";
    EXPECT_FALSE(Application::forwardToRunningInstance(name, {"/a.qrn"}));
    EXPECT_FALSE(app.listenForOtherInstances(name));
    EXPECT_TRUE(S_ISREG(modeOf(name)));
    ::unlink(name.c_str());

    if (::getuid() == 0) {
        // Another user's socket, with a listener behind it: no path reaches it.
        QLocalServer other;
        ASSERT_TRUE(other.listen(QString::fromStdString(name)));
        ASSERT_EQ(::chown(name.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(Application::forwardToRunningInstance(name, {"/secret.qrn"}));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_FALSE(other.hasPendingConnections());
        EXPECT_FALSE(app.listenForOtherInstances(name));
        EXPECT_TRUE(S_ISSOCK(modeOf(name)));
        other.close();
        ::unlink(name.c_str());
    }

    // A socket of ours that nobody answers on any more is taken over, and the hand-over works.
    leaveDeadSocket(name);
    EXPECT_FALSE(Application::forwardToRunningInstance(name, {"/a.qrn"}));
    ASSERT_TRUE(app.listenForOtherInstances(name));
    EXPECT_EQ(modeOf(name) & 077, 0u);
    ASSERT_TRUE(Application::forwardToRunningInstance(name, {"/abs/c.qrn"}));
    waitForFiles(d, 1);
    EXPECT_EQ(d.files, std::vector<std::string>{"/abs/c.qrn"});
    app.stopListening();
    app.setDelegate(nullptr);
}

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
    ASSERT_TRUE(Application::forwardToRunningInstance(name, {"/abs/News\nnight.qrn", "rel.qrn"}));
    waitForFiles(d, 2);
    ASSERT_EQ(d.files.size(), 2u);
    // A newline is part of a name, not the end of one.
    EXPECT_EQ(d.files[0], "/abs/News\nnight.qrn");
    // Relative paths arrive made absolute against the sender's working directory.
    EXPECT_EQ(d.files[1].front(), '/');
    EXPECT_NE(d.files[1].find("rel.qrn"), std::string::npos);

    // A message too big for any launch is cut off unread, and nothing opens.
    std::vector<std::string> logged;
    setLogSinkForTesting([&](const std::string& line) { logged.push_back(line); });
    d.files.clear();
    d.log.clear();
    QLocalSocket flood;
    flood.connectToServer(QString::fromStdString(name));
    ASSERT_TRUE(flood.waitForConnected(1000));
    flood.write("QRN1");
    QElapsedTimer timer;
    timer.start();
    // Written while this instance reads, as a sender that never stops would.
    while (logged.empty() && timer.elapsed() < 5000) {
        if (flood.state() == QLocalSocket::ConnectedState && flood.bytesToWrite() < (64 << 10))
            flood.write(QByteArray(64 << 10, '\n'));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    flood.abort();
    setLogSinkForTesting(nullptr);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("refused"), std::string::npos);
    EXPECT_TRUE(d.files.empty());
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

TEST(Application, BringingBackOneHiddenWindowBringsBackTheOthersHidingMinimised) {
    // The autocue used to stay minimised behind the studio the presenter brought back.
    auto& app = Application::shared();
    auto a = Window::make(), b = Window::make(), c = Window::make();
    for (auto& w : {a, b, c})
        w->makeKeyAndOrderFront();
    c->miniaturize();
    app.hide();
    b->hostDidDeminiaturize(); // restored from the taskbar
    EXPECT_FALSE(a->isMiniaturized());
    EXPECT_FALSE(b->isMiniaturized());
    EXPECT_TRUE(c->isMiniaturized()) << "only what hiding minimised comes back";
    EXPECT_EQ(Window::keyWindow(), b.get());
    for (auto& w : {a, b, c})
        w->close();
}

TEST(Application, ALaterLaunchBringsTheHiddenApplicationBack) {
    auto& app = Application::shared();
    auto a = Window::make(), b = Window::make(), c = Window::make();
    a->makeKeyAndOrderFront();
    c->makeKeyAndOrderFront();
    c->miniaturize(); // by the presenter, before the application was hidden
    b->makeKeyAndOrderFront();
    app.hide();
    EXPECT_TRUE(a->isMiniaturized() && b->isMiniaturized() && c->isMiniaturized());
    app.comeForward();
    EXPECT_FALSE(a->isMiniaturized());
    EXPECT_FALSE(b->isMiniaturized());
    EXPECT_TRUE(c->isMiniaturized()) << "only what hiding minimised comes back";
    EXPECT_EQ(Window::keyWindow(), b.get());

    // A bare second launch does the same through the running instance's socket.
    const std::string name = "qrn-test-forward-" + std::to_string(QCoreApplication::applicationPid());
    ASSERT_TRUE(app.listenForOtherInstances(name));
    app.hide();
    ASSERT_TRUE(b->isMiniaturized());
    ASSERT_TRUE(Application::forwardToRunningInstance(name, {}));
    QElapsedTimer timer;
    timer.start();
    while (b->isMiniaturized() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(a->isMiniaturized());
    EXPECT_FALSE(b->isMiniaturized());
    app.stopListening();

    // The minimised key window itself comes back even when hiding had nothing to do with it.
    c->makeKeyAndOrderFront();
    ASSERT_TRUE(c->isMiniaturized());
    app.comeForward();
    EXPECT_FALSE(c->isMiniaturized());
    for (auto& w : {a, b, c})
        w->close();
}
