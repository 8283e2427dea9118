#pragma once
// The application: launch and termination as told to a delegate, files to open (from the
// command line and from later launches, which hand their files to the running instance over a
// local socket), activation, and modal windows.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/window.h"

class QLocalServer;

namespace qrn::ui {

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationWillFinishLaunching() {}
    virtual void applicationDidFinishLaunching() {}
    // Files named on the command line (before did-finish) or by a later launch.
    virtual void applicationOpenFiles(const std::vector<std::string>& /*paths*/) {}
    virtual bool applicationShouldTerminate() { return true; }
    virtual void applicationWillTerminate() {}
    virtual bool applicationShouldTerminateAfterLastWindowClosed() { return false; }
    virtual void applicationDidBecomeActive() {}
    virtual void applicationDidResignActive() {}
    // Before the application's windows are minimised by hide().
    virtual void applicationWillHide() {}
};

// The standard text commands of the Edit menu.
enum class EditCommand { cut, copy, paste, pasteAndMatchStyle, deleteSelection, selectAll };

class Application {
  public:
    static Application& shared();

    ApplicationDelegate* delegate() const { return delegate_; }
    void setDelegate(ApplicationDelegate* d) { delegate_ = d; }

    // Start-up: will-finish, the command line's files (arguments after the program name that
    // are not options), did-finish.
    void finishLaunching(const std::vector<std::string>& arguments);
    bool isLaunched() const { return launched_; }
    // Asks the delegate, tells it, then leaves the event loop.
    void terminate();
    bool isTerminating() const { return terminating_; }
    // How the host leaves its event loop (default: QCoreApplication::exit).
    void setQuitHandler(std::function<void()> handler) { quitHandler_ = std::move(handler); }

    bool isActive() const { return active_; }
    // Tells the delegate, then the activation observers, when the state changes.
    void setActive(bool active);
    // Screens that refresh when the user comes back to the application (the delegate is told
    // first, then the observers in the order they were added). The token removes the observer.
    using ObserverToken = int;
    ObserverToken addActivationObserver(std::function<void()> observer);
    void removeActivationObserver(ObserverToken token);

    // Tells the delegate, then minimises every open window.
    void hide();
    // What a later launch of the application asks of the running one: the windows hide()
    // minimised come back, and the key window (else the newest open one) comes to the front,
    // restored if it was minimised.
    void comeForward();
    // The user brought back a window that hide() minimised (from the taskbar, say): the
    // application comes back with it, so the others it minimised return too.
    void hiddenWindowCameBack(Window& window);

    // Sends an Edit command to the focused native text editor; false when there is none. The
    // Qt bridge installs the handler that knows the editors.
    bool performEditCommand(EditCommand command);
    void setEditCommandHandler(std::function<bool(EditCommand)> handler) {
        editCommandHandler_ = std::move(handler);
    }

    void openFiles(const std::vector<std::string>& paths);

    // --- One instance per user: a later launch passes its files to the running one.
    // The socket for this user, where no other user can reach it: in $XDG_RUNTIME_DIR when that
    // is a private folder of the user's, else in a private (0700) folder "qrn-<uid>" of the
    // temporary folder. Empty when neither is to be had (each launch then runs on its own).
    static std::string instanceName();
    // Sends the files (made absolute) to a running instance; false when none answers, or when
    // the name is not a socket of this user's (it is then left alone).
    static bool forwardToRunningInstance(const std::string& name, const std::vector<std::string>& paths);
    // Starts answering later launches of this user. False when the name cannot be taken; a
    // stale socket of this user's is replaced, anything else under the name is left alone.
    bool listenForOtherInstances(const std::string& name);
    void stopListening();

    // --- Windows
    std::vector<WindowPtr> windows() const { return Window::openWindows(); }
    Window* keyWindow() const { return Window::keyWindow(); }
    // A window shown modally: other windows refuse input until it ends.
    void beginModal(const WindowPtr& window, std::function<void(int response)> completion = {});
    void endModal(Window& window, int response = 0);
    Window* modalWindow() const { return Window::modalWindow(); }

    // Back to before launch: no delegate, quit handler, modal windows or listener. For tests.
    void resetForTesting();

    // Files given on a command line, without the program name and options.
    static std::vector<std::string> filesFromArguments(const std::vector<std::string>& arguments);

  private:
    Application();
    void windowClosed(Window& window);

    ApplicationDelegate* delegate_ = nullptr;
    bool launched_ = false;
    bool terminating_ = false;
    bool active_ = false;
    std::function<void()> quitHandler_;
    std::function<bool(EditCommand)> editCommandHandler_;
    std::vector<std::pair<ObserverToken, std::function<void()>>> activationObservers_;
    ObserverToken nextObserverToken_ = 1;
    QLocalServer* server_ = nullptr;
    // The windows the last hide() minimised, for comeForward() to restore.
    std::vector<std::weak_ptr<Window>> hiddenWindows_;
    struct ModalSession {
        WindowPtr window;
        std::function<void(int)> completion;
    };
    std::vector<ModalSession> modals_;
};

} // namespace qrn::ui
