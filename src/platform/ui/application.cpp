#include "platform/ui/application.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/foundation/alerts.h"
#include "platform/foundation/main_queue.h"

namespace qrn::ui {

Application& Application::shared() {
    // Never destroyed: screens kept by module globals let go of their activation observers at
    // exit, after a function-local instance would already have been destroyed.
    static Application* app = new Application;
    return *app;
}

Application::Application() {
    Window::setCloseObserver([this](Window& w) { windowClosed(w); });
}

std::vector<std::string> Application::filesFromArguments(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    for (size_t i = 1; i < arguments.size(); ++i)
        if (!arguments[i].empty() && arguments[i][0] != '-')
            files.push_back(arguments[i]);
    return files;
}

void Application::finishLaunching(const std::vector<std::string>& arguments) {
    if (launched_)
        return;
    if (delegate_)
        delegate_->applicationWillFinishLaunching();
    auto files = filesFromArguments(arguments);
    if (!files.empty())
        openFiles(files);
    launched_ = true;
    if (delegate_)
        delegate_->applicationDidFinishLaunching();
}

void Application::terminate() {
    if (terminating_)
        return;
    if (delegate_ && !delegate_->applicationShouldTerminate())
        return;
    terminating_ = true;
    if (delegate_)
        delegate_->applicationWillTerminate();
    stopListening();
    if (quitHandler_)
        quitHandler_();
    else
        QCoreApplication::exit(0);
}

void Application::setActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    if (delegate_) {
        if (active)
            delegate_->applicationDidBecomeActive();
        else
            delegate_->applicationDidResignActive();
    }
    if (!active)
        return;
    // An observer may add or remove observers; one removed meanwhile is not called.
    std::vector<ObserverToken> tokens;
    for (const auto& [token, observer] : activationObservers_)
        tokens.push_back(token);
    for (ObserverToken token : tokens) {
        auto it = std::find_if(activationObservers_.begin(), activationObservers_.end(),
                               [token](const auto& entry) { return entry.first == token; });
        if (it == activationObservers_.end())
            continue;
        auto observer = it->second;
        observer();
    }
}

Application::ObserverToken Application::addActivationObserver(std::function<void()> observer) {
    if (!observer)
        return 0;
    const ObserverToken token = nextObserverToken_++;
    activationObservers_.emplace_back(token, std::move(observer));
    return token;
}

void Application::removeActivationObserver(ObserverToken token) {
    std::erase_if(activationObservers_, [token](const auto& entry) { return entry.first == token; });
}

void Application::hide() {
    if (delegate_)
        delegate_->applicationWillHide();
    for (const WindowPtr& window : Window::openWindows()) {
        // A window the user had minimised already stays so when the application comes back.
        if (!window->isMiniaturized())
            hiddenWindows_.push_back(window);
        window->miniaturize();
    }
}

void Application::comeForward() {
    const auto hidden = std::move(hiddenWindows_);
    hiddenWindows_.clear();
    for (const auto& weak : hidden)
        if (auto window = weak.lock(); window && !window->isClosed())
            window->deminiaturize();
    Window* front = Window::keyWindow();
    if (!front && !Window::openWindows().empty())
        front = Window::openWindows().back().get();
    if (!front)
        return;
    front->deminiaturize();
    front->makeKeyAndOrderFront();
}

void Application::hiddenWindowCameBack(Window& window) {
    const bool wasHidden = std::any_of(hiddenWindows_.begin(), hiddenWindows_.end(),
                                       [&](const auto& weak) { return weak.lock().get() == &window; });
    if (!wasHidden)
        return;
    const auto hidden = std::move(hiddenWindows_);
    hiddenWindows_.clear();
    for (const auto& weak : hidden)
        if (auto other = weak.lock(); other && other.get() != &window && !other->isClosed())
            other->deminiaturize();
    // The one the user chose stays in front.
    window.makeKeyAndOrderFront();
}

bool Application::performEditCommand(EditCommand command) {
    return editCommandHandler_ && editCommandHandler_(command);
}

void Application::openFiles(const std::vector<std::string>& paths) {
    if (delegate_ && !paths.empty())
        delegate_->applicationOpenFiles(paths);
}

void Application::windowClosed(Window& window) {
    for (auto it = modals_.begin(); it != modals_.end(); ++it)
        if (it->window.get() == &window) {
            endModal(window, 0);
            break;
        }
    if (terminating_ || !launched_ || !Window::openWindows().empty())
        return;
    if (delegate_ && delegate_->applicationShouldTerminateAfterLastWindowClosed())
        // After the close has finished unwinding.
        MainQueue::after(0, [this]() {
            if (Window::openWindows().empty())
                terminate();
        });
}

// --- Single instance

namespace {

// A launch's message: a tag, then each path as its byte length (4 bytes, big-endian) and its
// bytes, so a path may hold any character, newlines included. A message that big is no launch.
constexpr char handOverTag[] = "QRN1";
constexpr size_t maxHandOverBytes = 1 << 20;

std::string encodeHandOver(const std::vector<std::string>& paths) {
    std::string message(handOverTag);
    for (const auto& p : paths) {
        const auto n = uint32_t(p.size());
        for (int shift = 24; shift >= 0; shift -= 8)
            message += char((n >> shift) & 0xff);
        message += p;
    }
    return message;
}

std::optional<std::vector<std::string>> decodeHandOver(const std::string& message) {
    const size_t tag = sizeof handOverTag - 1;
    if (message.compare(0, tag, handOverTag) != 0)
        return std::nullopt;
    std::vector<std::string> paths;
    for (size_t at = tag; at < message.size();) {
        if (message.size() - at < 4)
            return std::nullopt;
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i)
            n = (n << 8) | uint8_t(message[at + i]);
        at += 4;
        if (n == 0 || message.size() - at < n)
            return std::nullopt;
        paths.push_back(message.substr(at, n));
        at += n;
    }
    return paths;
}

// A folder only this user can enter: ours, a real folder (not a link), with no access for
// anyone else. `create` makes it (0700) when it is not there.
bool isPrivateFolder(const std::string& path, bool create) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (!create || errno != ENOENT || ::mkdir(path.c_str(), 0700) != 0)
            return false;
        if (::lstat(path.c_str(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Where Qt puts a socket of that name.
std::string socketPath(const std::string& name) {
    if (!name.empty() && name.front() == '/')
        return name;
    return (QDir::tempPath() + "/" + QString::fromStdString(name)).toStdString();
}

enum class socketOwner { none, user, other };

// A socket of another user (or anything else under the name) is never talked to or removed: it
// could take the files a launch hands over, or stand in the way on purpose.
socketOwner ownerOfSocket(const std::string& name) {
    struct stat st {};
    if (::lstat(socketPath(name).c_str(), &st) != 0)
        return errno == ENOENT ? socketOwner::none : socketOwner::other;
    return S_ISSOCK(st.st_mode) && st.st_uid == ::getuid() ? socketOwner::user : socketOwner::other;
}

// The connecting process runs as this user (the folder already keeps others out).
bool peerIsUser(QLocalSocket& socket) {
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) ==
               0 &&
           credentials.uid == ::getuid();
}

} // namespace

std::string Application::instanceName() {
    // In the user's runtime folder, else in a private folder of the user's own in the
    // temporary folder; none (no hand-over) when neither can be had.
    const std::string uid = std::to_string(::getuid());
    if (const std::string runtime = qgetenv("XDG_RUNTIME_DIR").toStdString();
        runtime.starts_with('/') && isPrivateFolder(runtime, false))
        return runtime + "/qrn-instance";
    const std::string folder = QDir::tempPath().toStdString() + "/qrn-" + uid;
    if (isPrivateFolder(folder, true))
        return folder + "/instance";
    return "";
}

bool Application::forwardToRunningInstance(const std::string& name, const std::vector<std::string>& paths) {
    if (name.empty() || ownerOfSocket(name) != socketOwner::user)
        return false;
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(name));
    if (!socket.waitForConnected(1000))
        return false;
    // The running instance has its own working directory: send absolute paths.
    std::vector<std::string> absolute;
    for (const auto& p : paths) {
        // As bytes: a path need not be valid UTF-8.
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(p, error).lexically_normal();
        if (!full.has_filename() && full.has_parent_path())
            full = full.parent_path();
        absolute.push_back(error ? p : full.string());
    }
    // An empty list still tells the running instance to come forward.
    const std::string message = encodeHandOver(absolute);
    socket.write(message.data(), qint64(message.size()));
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return true;
}

bool Application::listenForOtherInstances(const std::string& name) {
    stopListening();
    if (name.empty() || ownerOfSocket(name) == socketOwner::other)
        return false;
    server_ = new QLocalServer;
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QString qname = QString::fromStdString(name);
    if (!server_->listen(qname)) {
        // A socket of ours left behind by an instance that died: nobody answers on it.
        if (ownerOfSocket(name) == socketOwner::user)
            QLocalServer::removeServer(qname);
        if (!server_->listen(qname)) {
            delete server_;
            server_ = nullptr;
            return false;
        }
    }
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this]() {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            if (!peerIsUser(*socket)) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            auto buffer = std::make_shared<std::string>();
            auto refused = std::make_shared<bool>(false);
            auto take = [socket, buffer, refused]() {
                if (*refused)
                    return;
                const QByteArray bytes = socket->readAll();
                if (buffer->size() + size_t(bytes.size()) > maxHandOverBytes) {
                    *refused = true;
                    buffer->clear();
                    writeLogLine("A launch's message to this instance was refused: over " +
                                 std::to_string(maxHandOverBytes) + " bytes");
                    socket->abort();
                    return;
                }
                buffer->append(bytes.constData(), size_t(bytes.size()));
            };
            QObject::connect(socket, &QLocalSocket::readyRead, socket, take);
            QObject::connect(
                socket, &QLocalSocket::disconnected, socket, [this, socket, buffer, refused, take]() {
                    take();
                    socket->deleteLater();
                    if (*refused)
                        return;
                    const auto paths = decodeHandOver(*buffer);
                    if (!paths) {
                        writeLogLine(
                            "A launch's message to this instance was refused: it is not a list of paths");
                        return;
                    }
                    comeForward();
                    openFiles(*paths);
                });
        }
    });
    return true;
}

void Application::stopListening() {
    if (!server_)
        return;
    server_->close();
    delete server_;
    server_ = nullptr;
}

void Application::resetForTesting() {
    stopListening();
    delegate_ = nullptr;
    launched_ = terminating_ = active_ = false;
    quitHandler_ = nullptr;
    modals_.clear();
    hiddenWindows_.clear();
    Window::setModalWindow(nullptr);
}

// --- Modal windows

void Application::beginModal(const WindowPtr& window, std::function<void(int)> completion) {
    if (!window)
        return;
    modals_.push_back({window, std::move(completion)});
    // Modal before it shows: the host can only show a window as modal.
    Window::setModalWindow(window.get());
    window->makeKeyAndOrderFront();
}

void Application::endModal(Window& window, int response) {
    for (auto it = modals_.begin(); it != modals_.end(); ++it) {
        if (it->window.get() != &window)
            continue;
        ModalSession session = std::move(*it);
        modals_.erase(it);
        Window::setModalWindow(modals_.empty() ? nullptr : modals_.back().window.get());
        if (session.completion)
            session.completion(response);
        return;
    }
}

} // namespace qrn::ui
