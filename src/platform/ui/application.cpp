#include "platform/ui/application.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

#include <algorithm>

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
        QCoreApplication::quit();
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
    for (const WindowPtr& window : Window::openWindows())
        window->miniaturize();
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

std::string Application::instanceName() {
    return "qrn-" + std::to_string(getuid());
}

bool Application::forwardToRunningInstance(const std::string& name, const std::vector<std::string>& paths) {
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(name));
    if (!socket.waitForConnected(1000))
        return false;
    QByteArray message;
    // The running instance has its own working directory: send absolute paths.
    for (const auto& p : paths)
        message += QFileInfo(QString::fromStdString(p)).absoluteFilePath().toUtf8() + '\n';
    if (message.isEmpty())
        message = "\n"; // a bare launch still tells the running instance to come forward
    socket.write(message);
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return true;
}

bool Application::listenForOtherInstances(const std::string& name) {
    stopListening();
    server_ = new QLocalServer;
    QString qname = QString::fromStdString(name);
    if (!server_->listen(qname)) {
        // A socket left behind by an instance that died: nobody answers on it.
        QLocalServer::removeServer(qname);
        if (!server_->listen(qname)) {
            delete server_;
            server_ = nullptr;
            return false;
        }
    }
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this]() {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [socket, buffer]() { *buffer += socket->readAll(); });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket, buffer]() {
                *buffer += socket->readAll();
                socket->deleteLater();
                std::vector<std::string> paths;
                for (const QByteArray& line : buffer->split('\n'))
                    if (!line.trimmed().isEmpty())
                        paths.push_back(QString::fromUtf8(line).toStdString());
                if (Window* w =
                        Window::keyWindow()
                            ? Window::keyWindow()
                            : (Window::openWindows().empty() ? nullptr : Window::openWindows().back().get()))
                    w->makeKeyAndOrderFront();
                openFiles(paths);
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
    Window::setModalWindow(nullptr);
}

// --- Modal windows

void Application::beginModal(const WindowPtr& window, std::function<void(int)> completion) {
    if (!window)
        return;
    modals_.push_back({window, std::move(completion)});
    window->makeKeyAndOrderFront();
    Window::setModalWindow(window.get());
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
