#include "journey/journey_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>

#include <deque>
#include <gtest/gtest.h>

#include "platform/qt/host_window.h"

namespace journey {

namespace fs = std::filesystem;

bool waitUntil(const std::function<bool()>& done, double seconds) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

void settle(double seconds) {
    waitUntil([] { return false; }, seconds);
}

std::vector<qrn::ui::WindowPtr> shownWindows() {
    std::vector<qrn::ui::WindowPtr> out;
    for (auto& w : qrn::ui::Window::openWindows())
        if (w && w->isVisible())
            out.push_back(w);
    return out;
}

qrn::ui::WindowPtr windowTitled(const std::string& title) {
    for (auto& w : shownWindows())
        if (w->title() == title)
            return w;
    return nullptr;
}

namespace {

qrn::qt::HostWidget* hostWidgetOf(const qrn::ui::View& view) {
    auto* window = view.window();
    return window ? qrn::qt::hostWidget(*window) : nullptr;
}

// The window point of a point in the view, then Qt's pixel through the bridge's own conversion.
QPointF qtPoint(const qrn::ui::View& view, qrn::Point local) {
    auto* host = hostWidgetOf(view);
    if (!host)
        return {};
    const qrn::Point w = view.convertPointToView(local, nullptr);
    const QRect r = host->toQt(qrn::Rect(w.x - 0.5, w.y - 0.5, 1, 1));
    return QPointF(r.center()) + QPointF(0.5, 0.5);
}

Qt::MouseButtons held = Qt::NoButton;

void mouse(QEvent::Type type, const qrn::ui::View& view, qrn::Point local, Qt::MouseButton button,
           Qt::KeyboardModifiers mods) {
    auto* host = hostWidgetOf(view);
    if (!host) {
        ADD_FAILURE_AT(__FILE__, __LINE__);
        return;
    }
    const QPointF p = qtPoint(view, local);
    if (type == QEvent::MouseButtonPress)
        held |= button;
    else if (type == QEvent::MouseButtonRelease)
        held &= ~button;
    QMouseEvent e(type, p, host->mapToGlobal(p), button, held, mods);
    QApplication::sendEvent(host, &e);
}

} // namespace

QPoint pixelOf(const qrn::ui::View& view) {
    return qtPoint(view, view.bounds().center()).toPoint();
}

QPoint pixelOf(const qrn::ui::View& view, qrn::Point local) {
    return qtPoint(view, local).toPoint();
}

QWidget* hostOf(const qrn::ui::View& view) {
    return hostWidgetOf(view);
}

void press(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods) {
    mouse(QEvent::MouseButtonPress, view, local, Qt::LeftButton, mods);
}

void release(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods) {
    mouse(QEvent::MouseButtonRelease, view, local, Qt::LeftButton, mods);
}

void hover(const qrn::ui::View& view, qrn::Point local) {
    mouse(QEvent::MouseMove, view, local, Qt::NoButton, Qt::NoModifier);
}

void clickAt(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods) {
    hover(view, local);
    press(view, local, mods);
    release(view, local, mods);
    QCoreApplication::processEvents();
}

qrn::Point visibleCentre(const qrn::ui::View& view) {
    // The part of the view its ancestors (scroll views' clips, panes) leave on show.
    qrn::Rect shown = view.windowRect();
    for (auto v = view.superview(); v; v = v->superview())
        shown = shown.intersection(v->windowRect());
    if (shown.isEmpty())
        return view.bounds().center();
    return view.convertPointFromView(shown.center(), nullptr);
}

std::optional<qrn::Point> clickablePoint(const qrn::ui::View& view) {
    auto* window = view.window();
    if (!window || !window->frameView())
        return std::nullopt;
    qrn::Rect shown = view.windowRect();
    for (auto v = view.superview(); v; v = v->superview())
        shown = shown.intersection(v->windowRect());
    if (shown.isEmpty())
        return std::nullopt;
    // The middle first, then outwards: the first point whose press would reach the view.
    const auto& root = window->frameView();
    std::optional<qrn::Point> best;
    double bestDistance = 1e18;
    for (int i = 1; i < 12; ++i)
        for (int k = 1; k < 12; ++k) {
            const qrn::Point p{shown.minX() + shown.width() * i / 12, shown.minY() + shown.height() * k / 12};
            const auto* hit = root->hitTest(root->convertPointFromView(p, nullptr));
            bool inside = false;
            for (const qrn::ui::View* v = hit; v && !inside; v = v->superview().get())
                inside = v == &view;
            const double d = std::hypot(p.x - shown.midX(), p.y - shown.midY());
            if (inside && d < bestDistance) {
                best = view.convertPointFromView(p, nullptr);
                bestDistance = d;
            }
        }
    return best;
}

void click(const qrn::ui::View& view, Qt::KeyboardModifiers mods) {
    const auto p = clickablePoint(view);
    if (!p) {
        ADD_FAILURE() << "nothing of the view is there to click";
        return;
    }
    clickAt(view, *p, mods);
}

void wheel(const qrn::ui::View& view, QPoint angleDelta) {
    auto* host = hostWidgetOf(view);
    if (!host)
        return;
    const QPointF p = qtPoint(view, visibleCentre(view));
    QWheelEvent e(p, host->mapToGlobal(p), angleDelta / 8, angleDelta, Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(host, &e);
    QCoreApplication::processEvents();
}

void rightClick(const qrn::ui::View& view) {
    const auto c = view.bounds().center();
    mouse(QEvent::MouseButtonPress, view, c, Qt::RightButton, Qt::NoModifier);
    mouse(QEvent::MouseButtonRelease, view, c, Qt::RightButton, Qt::NoModifier);
}

void drag(const qrn::ui::View& view, qrn::Point from, qrn::Point to, int steps, Qt::KeyboardModifiers mods) {
    hover(view, from);
    press(view, from, mods);
    for (int i = 1; i <= steps; ++i) {
        const double f = double(i) / steps;
        mouse(QEvent::MouseMove, view, {from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f},
              Qt::NoButton, mods);
        QCoreApplication::processEvents();
    }
    release(view, to, mods);
    QCoreApplication::processEvents();
}

QWidget* focusTarget() {
    // The offscreen platform has no window manager to give the focus back to the key window
    // when a dialog closes; do what one would.
    if (!QApplication::activeWindow())
        if (auto* key = qrn::ui::Window::keyWindow())
            if (auto* host = qrn::qt::hostWidget(*key)) {
                host->activateWindow();
                QCoreApplication::processEvents();
            }
    if (auto* f = QApplication::focusWidget())
        return f;
    if (auto* key = qrn::ui::Window::keyWindow())
        return qrn::qt::hostWidget(*key);
    return nullptr;
}

void key(int qtKey, Qt::KeyboardModifiers mods, const QString& text) {
    QWidget* target = focusTarget();
    if (!target) {
        ADD_FAILURE() << "no widget takes keys";
        return;
    }
    QPointer<QWidget> guard(target);
    QKeyEvent down(QEvent::KeyPress, qtKey, mods, text);
    QApplication::sendEvent(target, &down);
    if (!guard)
        return;
    QKeyEvent up(QEvent::KeyRelease, qtKey, mods, text);
    QApplication::sendEvent(target, &up);
    QCoreApplication::processEvents();
}

} // namespace journey

// Qt's own test library sends keys this way before delivering them; it is exported for it.
Q_GUI_EXPORT bool qt_sendShortcutOverrideEvent(QObject* o, ulong timestamp, int k, Qt::KeyboardModifiers mods,
                                               const QString& text, bool autorep, ushort count);

namespace journey {

void keyThroughShortcuts(int qtKey, Qt::KeyboardModifiers mods) {
    QWidget* target = focusTarget();
    if (!target) {
        ADD_FAILURE() << "no widget takes keys";
        return;
    }
    if (qt_sendShortcutOverrideEvent(target, 0, qtKey, mods, {}, false, 1)) {
        QCoreApplication::processEvents();
        return;
    }
    key(qtKey, mods);
}

void type(const std::string& text) {
    for (QChar c : QString::fromStdString(text)) {
        int k = c.toUpper().unicode();
        if (c == '\n')
            k = Qt::Key_Return;
        else if (c == ' ')
            k = Qt::Key_Space;
        key(k, c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, c == '\n' ? QString("\r") : QString(c));
    }
}

namespace {

// The menu bar's action for menu > item, after the menu was told it is about to show.
QAction* menuAction(const qrn::ui::Window& window, const std::string& menu, const std::string& item) {
    auto* host = qrn::qt::hostWidget(window);
    QMenuBar* bar = host ? host->menuBar() : nullptr;
    if (!bar)
        return nullptr;
    for (QAction* top : bar->actions()) {
        if (top->text().remove('&').toStdString() != menu || !top->menu())
            continue;
        // The menu is about to show: items that follow the app's state update themselves then.
        emit top->menu()->aboutToShow();
        for (QAction* a : top->menu()->actions())
            if (a->text().remove('&').toStdString() == item)
                return a;
    }
    return nullptr;
}

} // namespace

bool menuItem(const qrn::ui::Window& window, const std::string& menu, const std::string& item) {
    QAction* a = menuAction(window, menu, item);
    if (!a || !a->isEnabled())
        return false;
    a->trigger();
    return true;
}

std::optional<bool> menuItemEnabled(const qrn::ui::Window& window, const std::string& menu,
                                    const std::string& item) {
    QAction* a = menuAction(window, menu, item);
    if (!a)
        return std::nullopt;
    return a->isEnabled();
}

namespace {

bool carry(const qrn::ui::View& onto, qrn::Point local, const QMimeData& mime) {
    auto* host = hostWidgetOf(onto);
    if (!host)
        return false;
    const QPointF p = qtPoint(onto, local);
    QDragEnterEvent enter(p.toPoint(), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(host, &enter);
    QDragMoveEvent move(p.toPoint() + QPoint(1, 1), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(host, &move);
    QDragMoveEvent over(p.toPoint(), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &over);
    QDropEvent drop(p, Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(host, &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

} // namespace

bool dropFiles(const qrn::ui::View& onto, qrn::Point local, const std::vector<fs::path>& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (auto& f : files)
        urls << QUrl::fromLocalFile(QString::fromStdString(f.string()));
    mime.setUrls(urls);
    return carry(onto, local, mime);
}

bool dropMime(const qrn::ui::View& onto, qrn::Point local, const QMimeData& mime) {
    return carry(onto, local, mime);
}

std::unique_ptr<QMimeData> lastDragPayload(const qrn::ui::View& source) {
    auto* host = hostWidgetOf(source);
    if (!host)
        return nullptr;
    const auto drags = host->findChildren<QDrag*>(Qt::FindDirectChildrenOnly);
    if (drags.isEmpty() || !drags.last()->mimeData())
        return nullptr;
    const QMimeData* from = drags.last()->mimeData();
    auto copy = std::make_unique<QMimeData>();
    for (const QString& format : from->formats())
        copy->setData(format, from->data(format));
    return copy;
}

// --- Dialogs

namespace {

std::deque<fs::path> fileAnswers;
QPointer<QFileDialog> answering;
fs::path answer;
int answered = 0;
std::optional<std::chrono::steady_clock::time_point> answeredAt;
std::vector<std::string> alerts;
QPointer<QTimer> watcher;

void answerModal() {
    QWidget* modal = QApplication::activeModalWidget();

    if (!modal)
        return;
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
        // The dialog may still be filling its list when answered: the same answer again until
        // it closes.
        if (files != answering) {
            if (fileAnswers.empty()) {
                ADD_FAILURE() << "a file dialog nobody expected: " << files->windowTitle().toStdString();
                files->reject();
                return;
            }
            answering = files;
            answer = fileAnswers.front();
            fileAnswers.pop_front();
            ++answered;
        }
        if (answer.empty()) {
            files->reject();
            return;
        }
        // As typed into the name field: the folder, then the name.
        files->setDirectory(QString::fromStdString(answer.parent_path().string()));
        files->selectFile(QString::fromStdString(answer.filename().string()));
        if (auto* name = files->findChild<QLineEdit*>("fileNameEdit"))
            name->setText(QString::fromStdString(answer.string()));
        answeredAt = std::chrono::steady_clock::now();
        static_cast<QDialog*>(files)->accept();
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        alerts.push_back(box->text().toStdString());
        if (auto* b = box->defaultButton())
            b->click();
        else if (!box->buttons().isEmpty())
            box->buttons().first()->click();
        return;
    }
}

} // namespace

void answerNextFileDialog(const fs::path& path) {
    fileAnswers.push_back(path);
}

int fileDialogsAnswered() {
    return answered;
}

std::optional<std::chrono::steady_clock::time_point> lastFileDialogAnswerTime() {
    return answeredAt;
}

const std::vector<std::string>& alertsSeen() {
    return alerts;
}

void watchDialogs() {
    if (watcher) {
        // A loop that ended stops the timers that ran in it.
        if (!watcher->isActive())
            watcher->start();
        return;
    }
    watcher = new QTimer(QCoreApplication::instance());
    watcher->setInterval(30);
    QObject::connect(watcher, &QTimer::timeout, [] { answerModal(); });
    watcher->start();
}

void stopWatchingDialogs() {
    delete watcher.data();
    fileAnswers.clear();
    alerts.clear();
    answered = 0;
    answeredAt.reset();
}

QImage grab(const qrn::ui::Window& window) {
    auto* host = qrn::qt::hostWidget(window);
    if (!host)
        return {};
    host->flush();
    return host->grab(host->contentArea()).toImage();
}

} // namespace journey
