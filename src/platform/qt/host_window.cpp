#include "platform/qt/host_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDrag>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QStyleHints>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

#include "platform/foundation/main_queue.h"
#include "platform/qt/qt_application.h"
#include "platform/qt/qt_menu.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dragging.h"
#include "platform/ui/menu.h"

namespace qrn::qt {

namespace {

unsigned modifiersFromQt(Qt::KeyboardModifiers m) {
    unsigned f = ui::ModifierNone;
    if (m & Qt::ShiftModifier)
        f |= ui::ModifierShift;
    if (m & Qt::ControlModifier)
        f |= ui::ModifierControl;
    if (m & Qt::AltModifier)
        f |= ui::ModifierOption;
    if (m & Qt::MetaModifier)
        f |= ui::ModifierCommand;
    return f;
}

// X keysyms of the modifier keys, to tell the left key from the right one.
constexpr quint32 keysymShiftR = 0xffe2, keysymControlR = 0xffe4, keysymAltR = 0xffea, keysymSuperR = 0xffec;

int modifierKeyCode(const QKeyEvent& e, unsigned& flag) {
    quint32 sym = e.nativeVirtualKey();
    switch (e.key()) {
    case Qt::Key_Shift:
        flag = ui::ModifierShift;
        return sym == keysymShiftR ? ui::keycode::RightShift : ui::keycode::Shift;
    case Qt::Key_Control:
        flag = ui::ModifierControl;
        return sym == keysymControlR ? ui::keycode::RightControl : ui::keycode::Control;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        flag = ui::ModifierOption;
        return sym == keysymAltR || e.key() == Qt::Key_AltGr ? ui::keycode::RightOption : ui::keycode::Option;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        flag = ui::ModifierCommand;
        return sym == keysymSuperR || e.key() == Qt::Key_Super_R ? ui::keycode::RightCommand
                                                                 : ui::keycode::Command;
    case Qt::Key_CapsLock:
        flag = ui::ModifierCapsLock;
        return ui::keycode::CapsLock;
    default:
        flag = 0;
        return ui::keycode::Unknown;
    }
}

int keyCodeFromQt(int key) {
    using namespace ui::keycode;
    static const int letters[26] = {A, B, C, D, E, F, G, H, I, J, K, L, M,
                                    N, O, P, Q, R, S, T, U, V, W, X, Y, Z};
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return letters[key - Qt::Key_A];
    static const int digits[10] = {Zero, One, Two, Three, Four, Five, Six, Seven, Eight, Nine};
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return digits[key - Qt::Key_0];
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return Tab;
    case Qt::Key_Space:
        return Space;
    case Qt::Key_Backspace:
        return Delete;
    case Qt::Key_Delete:
        return ForwardDelete;
    case Qt::Key_Escape:
        return Escape;
    case Qt::Key_Left:
        return LeftArrow;
    case Qt::Key_Right:
        return RightArrow;
    case Qt::Key_Up:
        return UpArrow;
    case Qt::Key_Down:
        return DownArrow;
    case Qt::Key_Home:
        return Home;
    case Qt::Key_End:
        return End;
    case Qt::Key_PageUp:
        return PageUp;
    case Qt::Key_PageDown:
        return PageDown;
    case Qt::Key_Minus:
        return Minus;
    case Qt::Key_Equal:
        return Equal;
    default:
        return Unknown;
    }
}

Qt::DropActions dropActionsFromMask(unsigned mask) {
    Qt::DropActions a;
    if (mask & ui::DragOperationCopy)
        a |= Qt::CopyAction;
    if (mask & ui::DragOperationMove)
        a |= Qt::MoveAction;
    if (mask & (ui::DragOperationLink | ui::DragOperationGeneric))
        a |= Qt::LinkAction;
    return a ? a : Qt::CopyAction;
}

unsigned maskFromDropActions(Qt::DropActions a) {
    unsigned m = ui::DragOperationNone;
    if (a & Qt::CopyAction)
        m |= ui::DragOperationCopy;
    if (a & Qt::MoveAction)
        m |= ui::DragOperationMove;
    if (a & Qt::LinkAction)
        m |= ui::DragOperationLink;
    return m;
}

Qt::DropAction dropActionFor(unsigned op, Qt::DropActions possible) {
    if ((op & ui::DragOperationCopy) && (possible & Qt::CopyAction))
        return Qt::CopyAction;
    if ((op & ui::DragOperationMove) && (possible & Qt::MoveAction))
        return Qt::MoveAction;
    if ((op & (ui::DragOperationLink | ui::DragOperationGeneric)) && (possible & Qt::LinkAction))
        return Qt::LinkAction;
    return op ? Qt::CopyAction : Qt::IgnoreAction;
}

// The view that started the drag in progress, when it started here.
ui::View* currentDragSource = nullptr;

double screenHeight() {
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->virtualGeometry().bottom() + 1 : 0;
}

// No system shape offers a menu: an arrow with a small menu box at its lower right, drawn once.
QCursor contextualMenuCursor() {
    static const QCursor cursor = [] {
        QPixmap pixmap(24, 24);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(Qt::black);
        const QPointF arrow[] = {{1, 1}, {1, 15}, {4.5, 11.5}, {7, 17}, {9, 16}, {6.5, 10.5}, {11, 10.5}};
        p.drawPolygon(arrow, 7);
        p.drawRect(QRectF(12.5, 12.5, 10, 10));
        p.setPen(QPen(Qt::white, 1));
        for (double y : {15.5, 17.5, 19.5})
            p.drawLine(QPointF(14.5, y), QPointF(20.5, y));
        return QCursor(pixmap, 1, 1);
    }();
    return cursor;
}

} // namespace

// --- Native widgets

NativeWidgetContent::~NativeWidgetContent() {
    if (widget_ && QCoreApplication::instance())
        widget_->deleteLater();
}

QWidget* hostNativeWidget(ui::View& view, QWidget* widget) {
    view.setNativeContent(std::make_shared<NativeWidgetContent>(widget));
    if (widget && view.window())
        if (auto* host = hostWidget(*view.window()))
            host->scheduleFlush();
    return widget;
}

// --- Screen space

QRect screenRectToQt(const Rect& r) {
    double h = screenHeight();
    return QRect(int(std::lround(r.origin.x)), int(std::lround(h - r.maxY())), int(std::lround(r.size.width)),
                 int(std::lround(r.size.height)));
}

Rect screenRectFromQt(const QRect& r) {
    double h = screenHeight();
    return Rect(r.x(), h - (r.y() + r.height()), r.width(), r.height());
}

// --- Host widget

HostWidget::HostWidget(ui::Window& window) : window_(&window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    // Heavy subtrees marked for it are drawn on a worker; the window shows their last picture.
    renderer_.setUsesOffThreadPictures(true);
    animationTimer_.setSingleShot(true);
    animationTimer_.setTimerType(Qt::PreciseTimer);
    connect(&animationTimer_, &QTimer::timeout, this, [this]() {
        lastMovingRepaint_ = MainQueue::now();
        const QRegion area = std::exchange(moving_, QRegion());
        update(area);
    });
    // Qt reports each step of a resize; the end of a drag-resize is when the steps stop.
    liveResizeTimer_.setSingleShot(true);
    liveResizeTimer_.setInterval(300);
    connect(&liveResizeTimer_, &QTimer::timeout, this, [this]() {
        if (window_)
            window_->hostDidEndLiveResize();
    });
}

HostWidget::~HostWidget() {
    for (auto& w : placed_)
        if (w && w->parentWidget() == this)
            w->setParent(nullptr); // their views own them
}

QRect HostWidget::toQt(const Rect& r) const {
    Rect s = r.standardized();
    int x0 = int(std::floor(s.minX())), x1 = int(std::ceil(s.maxX()));
    int y0 = int(std::floor(height() - s.maxY())), y1 = int(std::ceil(height() - s.minY()));
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

Point HostWidget::fromQt(const QPointF& p) const {
    return {p.x(), height() - p.y()};
}

void HostWidget::scheduleFlush() {
    if (flushScheduled_)
        return;
    flushScheduled_ = true;
    QTimer::singleShot(0, this, [this]() { flush(); });
}

void HostWidget::flush() {
    if (!window_)
        return;
    flushScheduled_ = false;
    window_->displayIfNeeded();
    layoutNativeWidgets();
}

void HostWidget::invalidateRect(const Rect& r) {
    QRect q = toQt(r).adjusted(-1, -1, 1, 1); // antialiased edges spill over by a pixel
    if (painting_)
        QTimer::singleShot(0, this, [this, q]() { update(q); });
    else
        update(q);
}

void HostWidget::closeFromWindow() {
    closingFromWindow_ = true;
    close();
    closingFromWindow_ = false;
}

void HostWidget::setMenuBar(QMenuBar* bar) {
    if (menuBar_ == bar)
        return;
    if (menuBar_) {
        menuBar_->removeEventFilter(this);
        delete menuBar_.data();
    }
    menuBar_ = bar;
    if (!bar)
        return;
    bar->setParent(this);
    bar->installEventFilter(this);
    // Qt gives a click's focus to the nearest widget that takes it, which for the bar is this
    // one: the editor that had the focus would lose it, and the Edit menu would find no text.
    // A click on the bar leaves the focus where it was.
    connect(qApp, &QApplication::focusChanged, bar,
            [this, guard = QPointer<QMenuBar>(bar)](QWidget* old, QWidget* now) {
                if (now == this && old && old != this && isAncestorOf(old) && guard &&
                    guard->rect().contains(guard->mapFromGlobal(QCursor::pos())))
                    old->setFocus(Qt::OtherFocusReason);
            });
    menuBarHeight_ = bar->sizeHint().height();
    bar->setGeometry(0, 0, width(), menuBarHeight_);
    bar->show();
}

bool HostWidget::eventFilter(QObject* watched, QEvent* e) {
    // The pointer going onto the bar leaves our content, though Qt keeps it inside this widget.
    if (window_ && watched == menuBar_ && e->type() == QEvent::Enter)
        window_->mouseLeftWindow();
    return QWidget::eventFilter(watched, e);
}

void HostWidget::paintEvent(QPaintEvent* e) {
    if (!window_)
        return;
    // A window is placed before the window manager frames it, so its title bar may have gone
    // above the screen or its bottom below; by its first paint the frame is known.
    if (framePending_ && isWindow()) {
        framePending_ = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (window_)
                    window_->hostDidFrame();
            },
            Qt::QueuedConnection);
    }
    painting_ = true;
    window_->displayIfNeeded();
    // The bar paints itself; our content stops at its lower edge.
    const QRegion region = e->region() & contentArea();
    if (region.isEmpty()) {
        painting_ = false;
        return;
    }
    QPainter p(this);
    p.setClipRegion(region);
    for (const QRect& r : region)
        p.fillRect(r, window_->backgroundColour().toQColor());
    double t = MainQueue::now();
    renderer_.render(*window_->rootLayer(), p, t, QTransform(1, 0, 0, -1, 0, height()));
    lastPainted_ = region;
    ++paints_;
    painting_ = false;
    scheduleMovingRepaint(t);
}

void HostWidget::scheduleMovingRepaint(double t) {
    const double next = renderer_.lastRenderNextChange();
    if (!(next < std::numeric_limits<double>::infinity()))
        return;
    moving_ += renderer_.lastRenderMovingArea();
    // A display shows at most a frame each 1/30 s of a moving layer here; a GIF's held frame
    // is not drawn again until the next one is due.
    constexpr double frame = 1.0 / 30;
    const double due = std::max(next, lastMovingRepaint_ + frame);
    if (animationTimer_.isActive() && movingDue_ <= due)
        return;
    movingDue_ = due;
    // A millisecond more, so the timer never fires just before the change it waits for.
    animationTimer_.start(int(std::clamp(std::ceil((due - t) * 1000), 0.0, 1000.0)) + 1);
}

void HostWidget::press(QMouseEvent* e) {
    if (!window_)
        return;
    if (e->button() != Qt::LeftButton && e->button() != Qt::RightButton)
        return;
    // Consecutive presses close in time and place count up, as a double click does.
    int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    bool near = (e->position() - lastPressPos_).manhattanLength() <= 4;
    clickCount_ = (lastPress_.isValid() && lastPress_.elapsed() <= interval && near) ? clickCount_ + 1 : 1;
    lastPress_.restart();
    lastPressPos_ = e->position();
    auto type = e->button() == Qt::LeftButton ? ui::EventType::MouseDown : ui::EventType::RightMouseDown;
    window_->sendEvent(
        ui::Event::mouse(type, fromQt(e->position()), modifiersFromQt(e->modifiers()), clickCount_));
}

void HostWidget::mousePressEvent(QMouseEvent* e) {
    press(e);
}

void HostWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    press(e);
}

void HostWidget::mouseMoveEvent(QMouseEvent* e) {
    if (!window_)
        return;
    ui::EventType type = ui::EventType::MouseMoved;
    if (e->buttons() & Qt::LeftButton)
        type = ui::EventType::MouseDragged;
    else if (e->buttons() & Qt::RightButton)
        type = ui::EventType::RightMouseDragged;
    window_->sendEvent(ui::Event::mouse(type, fromQt(e->position()), modifiersFromQt(e->modifiers()), 0));
}

void HostWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (!window_)
        return;
    ui::EventType type;
    if (e->button() == Qt::LeftButton)
        type = ui::EventType::MouseUp;
    else if (e->button() == Qt::RightButton)
        type = ui::EventType::RightMouseUp;
    else
        return;
    window_->sendEvent(
        ui::Event::mouse(type, fromQt(e->position()), modifiersFromQt(e->modifiers()), clickCount_));
}

void HostWidget::leaveEvent(QEvent*) {
    if (window_)
        window_->mouseLeftWindow();
}

void HostWidget::wheelEvent(QWheelEvent* e) {
    if (!window_)
        return;
    ui::Event ev = ui::Event::mouse(ui::EventType::ScrollWheel, fromQt(e->position()),
                                    modifiersFromQt(e->modifiers()), 0);
    if (!e->pixelDelta().isNull()) {
        ev.scrollingDeltaX = e->pixelDelta().x();
        ev.scrollingDeltaY = e->pixelDelta().y();
    } else {
        // One wheel notch (120) scrolls by three lines of ten points.
        ev.scrollingDeltaX = e->angleDelta().x() / 4.0;
        ev.scrollingDeltaY = e->angleDelta().y() / 4.0;
    }
    window_->sendEvent(ev);
}

void HostWidget::sendKey(QKeyEvent* e, bool down) {
    if (!window_)
        return;
    unsigned flag = 0;
    int modifierCode = modifierKeyCode(*e, flag);
    unsigned mods = modifiersFromQt(e->modifiers());
    if (modifierCode != ui::keycode::Unknown) {
        // The pressed modifier is not always in the event's own flags; set it from the key itself.
        mods = down ? (mods | flag) : (mods & ~flag);
        ui::Event ev = ui::Event::key(ui::EventType::FlagsChanged, modifierCode, "", mods);
        window_->sendEvent(ev);
        return;
    }
    ui::Event ev = ui::Event::key(down ? ui::EventType::KeyDown : ui::EventType::KeyUp,
                                  keyCodeFromQt(e->key()), e->text().toStdString(), mods);
    QString plain = e->key() >= Qt::Key_Space && e->key() <= Qt::Key_AsciiTilde
                        ? QString(QChar(e->key())).toLower()
                        : e->text();
    ev.charactersIgnoringModifiers = plain.toStdString();
    ev.isRepeat = e->isAutoRepeat();
    window_->sendEvent(ev);
}

void HostWidget::keyPressEvent(QKeyEvent* e) {
    sendKey(e, true);
}

void HostWidget::keyReleaseEvent(QKeyEvent* e) {
    sendKey(e, false);
}

ui::DraggingInfo& HostWidget::dragInfo(const QDropEvent* e) {
    if (!drag_) {
        auto board = ui::Pasteboard::makeForDrag();
        if (e->mimeData())
            board->writeItems(ui::pasteboardItemsFromMime(*e->mimeData()));
        drag_ = std::make_unique<ui::DraggingInfo>(fromQt(e->position()), board,
                                                   maskFromDropActions(e->possibleActions()));
        drag_->setDraggingSource(e->source() ? currentDragSource : nullptr);
        // Every callback of one drag shares its number; late answers about an older drag can tell.
        static int dragSequence = 0;
        drag_->setSequenceNumber(++dragSequence);
    }
    drag_->setDraggingLocation(fromQt(e->position()));
    return *drag_;
}

void HostWidget::dragEnterEvent(QDragEnterEvent* e) {
    if (!window_)
        return;
    drag_.reset();
    unsigned op = window_->draggingEntered(dragInfo(e));
    // Always taken: Qt sends the later moves and the drop only to a widget that took the entry,
    // and this one widget holds every view, so a drag that enters over one that takes nothing
    // (the symbol picker it started from) must still reach the view it ends over. Where no view
    // wants it, nothing may be dropped.
    e->setDropAction(window_->dragDestination() ? dropActionFor(op, e->possibleActions()) : Qt::IgnoreAction);
    e->accept();
}

void HostWidget::dragMoveEvent(QDragMoveEvent* e) {
    if (!window_)
        return;
    unsigned op = window_->draggingUpdated(dragInfo(e));
    if (window_->dragDestination()) {
        e->setDropAction(dropActionFor(op, e->possibleActions()));
        e->accept();
    } else {
        e->ignore();
    }
}

void HostWidget::dragLeaveEvent(QDragLeaveEvent*) {
    if (drag_ && window_)
        window_->draggingExited(*drag_);
    drag_.reset();
}

void HostWidget::dropEvent(QDropEvent* e) {
    if (!window_)
        return;
    bool taken = window_->performDrop(dragInfo(e));
    drag_.reset();
    if (taken) {
        e->setDropAction(e->proposedAction());
        e->accept();
    } else {
        e->ignore();
    }
}

void HostWidget::resizeEvent(QResizeEvent* e) {
    if (menuBar_)
        menuBar_->setGeometry(0, 0, width(), menuBarHeight_);
    if (!window_)
        return;
    // The window system resizes about the top edge, so the bottom-left origin moves with the
    // height; our own resizes pass through in-between frames and place the window themselves.
    std::optional<Point> origin;
    if (isWindow() && e->spontaneous())
        origin = screenRectFromQt(geometry()).origin;
    window_->hostDidResize({double(width()), double(height() - topInset())}, true, origin);
    liveResizeTimer_.start();
    scheduleFlush();
}

void HostWidget::moveEvent(QMoveEvent*) {
    if (!window_)
        return;
    if (!isWindow())
        return;
    window_->hostDidMove(screenRectFromQt(geometry()).origin);
}

void HostWidget::closeEvent(QCloseEvent* e) {
    if (!window_ || closingFromWindow_ || window_->isClosed()) {
        e->accept();
        return;
    }
    if (window_->hostRequestsClose())
        e->accept();
    else
        e->ignore();
}

void HostWidget::showEvent(QShowEvent* e) {
    framePending_ = true;
    QWidget::showEvent(e);
}

void HostWidget::changeEvent(QEvent* e) {
    if (!window_) {
        QWidget::changeEvent(e);
        return;
    }
    if (e->type() == QEvent::WindowStateChange) {
        if (windowState() & Qt::WindowMinimized)
            window_->hostDidMiniaturize();
        else
            window_->hostDidDeminiaturize();
        window_->hostDidChangeFullScreenAndZoom(windowState() & Qt::WindowFullScreen,
                                                windowState() & Qt::WindowMaximized);
    } else if (e->type() == QEvent::ActivationChange) {
        if (isActiveWindow())
            window_->hostDidBecomeKey();
        else if (window_->isKeyWindow())
            window_->hostDidResignKey();
    }
    QWidget::changeEvent(e);
}

void HostWidget::layoutNativeWidgets() {
    if (!window_)
        return;
    std::vector<QPointer<QWidget>> now;
    for (ui::View* v : window_->viewsWithNativeContent()) {
        auto* content = dynamic_cast<NativeWidgetContent*>(v->nativeContent().get());
        QWidget* w = content ? content->widget() : nullptr;
        if (!w)
            continue;
        if (w->parentWidget() != this)
            w->setParent(this);
        w->setGeometry(toQt(v->windowRect()));
        w->setVisible(!v->isHiddenOrHasHiddenAncestor());
        w->raise();
        now.emplace_back(w);
    }
    // Widgets whose views left this window or gave up their content.
    for (auto& old : placed_)
        if (old && old->parentWidget() == this && std::find(now.begin(), now.end(), old) == now.end())
            old->hide();
    placed_ = std::move(now);
}

// --- Window host

QtWindowHost::QtWindowHost(ui::Window& window) : window_(window), widget_(new HostWidget(window)) {
    widget_->setWindowTitle(QString::fromStdString(window.title()));
    widget_->setGeometry(widget_->frameForContent(screenRectToQt(window.frame())));
    setResizable(window.isResizable());
}

QtWindowHost::~QtWindowHost() {
    // Qt's widgets go with Qt: past the application's end (a window kept until the process
    // ends) the widget was released already, and deleting one then would crash.
    if (widget_ && QCoreApplication::instance())
        delete widget_.data();
}

void QtWindowHost::show() {
    if (!widget_)
        return;
    widget_->setGeometry(widget_->frameForContent(screenRectToQt(window_.frame())));
    applyParent();
    widget_->show();
    // Views draw their contents at the screen's pixel density.
    window_.setBackingScaleFactor(widget_->devicePixelRatioF());
    widget_->scheduleFlush();
}

void QtWindowHost::hide() {
    if (!widget_)
        return;
    widget_->hide();
}

void QtWindowHost::close() {
    if (!widget_)
        return;
    widget_->closeFromWindow();
}

void QtWindowHost::setTitle(const std::string& title) {
    if (!widget_)
        return;
    widget_->setWindowTitle(QString::fromStdString(title));
}

void QtWindowHost::setContentRect(const Rect& rect) {
    if (!widget_)
        return;
    // A fixed size would hold the widget at the old size.
    if (!window_.isResizable())
        applySizeLimits();
    widget_->setGeometry(widget_->frameForContent(screenRectToQt(rect)));
}

void QtWindowHost::setResizable(bool) {
    if (!widget_)
        return;
    applySizeLimits();
}

void QtWindowHost::setMinContentSize(Size) {
    if (!widget_)
        return;
    applySizeLimits();
}

void QtWindowHost::applySizeLimits() {
    if (!widget_)
        return;
    // Limits are on the content; the widget adds the menu bar above it.
    const int inset = widget_->topInset();
    if (window_.isResizable()) {
        widget_->setMinimumSize(int(std::ceil(window_.minSize().width)),
                                int(std::ceil(window_.minSize().height)) + inset);
        widget_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        widget_->setFixedSize(int(std::lround(window_.contentSize().width)),
                              int(std::lround(window_.contentSize().height)) + inset);
    }
}

void QtWindowHost::setMenuBar(QMenuBar* bar) {
    if (!widget_)
        return;
    widget_->setMenuBar(bar);
    // Limits first: a fixed size would otherwise hold the widget at its old height.
    applySizeLimits();
    widget_->setGeometry(widget_->frameForContent(screenRectToQt(window_.frame())));
}

void QtWindowHost::activate() {
    if (!widget_)
        return;
    widget_->raise();
    widget_->activateWindow();
}

void QtWindowHost::miniaturize() {
    if (!widget_)
        return;
    widget_->showMinimized();
}

void QtWindowHost::deminiaturize() {
    if (!widget_)
        return;
    widget_->showNormal();
}

void QtWindowHost::setFullScreen(bool on) {
    if (!widget_)
        return;
    // Full screen and maximised are separate flags; leaving full screen returns to the state
    // the window had before.
    widget_->setWindowState(on ? widget_->windowState() | Qt::WindowFullScreen
                               : widget_->windowState() & ~Qt::WindowFullScreen);
}

void QtWindowHost::setZoomed(bool on) {
    if (!widget_)
        return;
    widget_->setWindowState(on ? widget_->windowState() | Qt::WindowMaximized
                               : widget_->windowState() & ~Qt::WindowMaximized);
}

Rect QtWindowHost::onScreen(const Rect& contentRect) const {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!widget_ || screens.isEmpty())
        return contentRect;
    const QRect widget = widget_->frameForContent(screenRectToQt(contentRect));
    // The window manager's title bar and border around the widget, known once it has framed the
    // window; none before.
    const QRect outer = widget_->frameGeometry(), inner = widget_->geometry();
    const QMargins border(std::max(0, inner.left() - outer.left()), std::max(0, inner.top() - outer.top()),
                          std::max(0, outer.right() - inner.right()),
                          std::max(0, outer.bottom() - inner.bottom()));
    const QRect frame = widget.marginsAdded(border);
    // The title bar, the menu bar below it, and enough of its width to take hold of.
    const QRect bar(frame.left(), frame.top(), frame.width(),
                    border.top() + std::max(1, widget_->topInset()));
    const int grip = std::min(bar.width(), 100);
    const auto holdsBar = [&](const QRect& area) {
        return bar.top() >= area.top() && bar.bottom() <= area.bottom() &&
               std::min(bar.right(), area.right()) - std::max(bar.left(), area.left()) + 1 >= grip;
    };
    // The screen holding the title bar, else the one showing most of the window, else the nearest.
    QRect area;
    int bestRank = -1;
    qint64 bestShown = -1;
    double bestDistance = 0;
    for (QScreen* screen : screens) {
        const QRect candidate = screen->availableGeometry();
        const bool holds = holdsBar(candidate);
        if (holds && frame.width() <= candidate.width() && frame.height() <= candidate.height())
            return contentRect;
        const QRect common = candidate.intersected(frame);
        const qint64 shown = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
        const QPoint d = candidate.center() - frame.center();
        const double distance = std::hypot(d.x(), d.y());
        const int rank = holds ? 1 : 0;
        if (std::tie(rank, shown) > std::tie(bestRank, bestShown) ||
            (rank == bestRank && shown == bestShown && distance < bestDistance)) {
            area = candidate;
            bestRank = rank;
            bestShown = shown;
            bestDistance = distance;
        }
    }
    // A window larger than the screen is made as large as the screen (never below its minimum)
    // and put on it; one that fits is moved only as far as brings its title bar onto it.
    const int inset = widget_->topInset();
    const bool resizable = window_.isResizable();
    const auto fitted = [&](int size, int room, double least) {
        return resizable ? std::max(int(std::ceil(least)), std::min(size, room)) : size;
    };
    const int width =
        fitted(widget.width(), area.width() - border.left() - border.right(), window_.minSize().width);
    const int height = fitted(widget.height(), area.height() - border.top() - border.bottom(),
                              window_.minSize().height + inset);
    const int outerWidth = width + border.left() + border.right();
    const int outerHeight = height + border.top() + border.bottom();
    const int left = outerWidth >= area.width()
                         ? area.left()
                         : std::clamp(frame.left(), area.left() + grip - outerWidth, area.right() + 1 - grip);
    const int top = outerHeight >= area.height()
                        ? area.top()
                        : std::clamp(frame.top(), area.top(), area.bottom() + 1 - bar.height());
    // Back in our space (y up); sizes the screen did not limit stay exactly as they were.
    const double w = width == widget.width() ? contentRect.size.width : width;
    const double h = height == widget.height() ? contentRect.size.height : height - inset;
    const double contentTop = contentRect.maxY() - (top - frame.top());
    return Rect(contentRect.origin.x + (left - frame.left()), contentTop - h, w, h);
}

void QtWindowHost::setParentWindow(ui::Window* parent) {
    if (!widget_)
        return;
    parent_ = parent ? hostWidget(*parent) : nullptr;
    // A tool window is kept above the window it is transient for, and only above that one.
    const Qt::WindowType type = parent_ ? Qt::Tool : Qt::Window;
    if (widget_->windowType() != type) {
        // A new window type hides a shown widget.
        const bool wasVisible = widget_->isVisible();
        widget_->setWindowFlags((widget_->windowFlags() & ~Qt::WindowType_Mask) | type);
        // Qt moves a widget of a new type back to its old pos(), which from then on places the
        // window manager's frame: before the window is framed that is where the inside was, so
        // each opening would come down by the title bar. Placed by its inside again, before the
        // native window is made.
        widget_->setGeometry(widget_->frameForContent(screenRectToQt(window_.frame())));
        applyParent();
        if (wasVisible)
            widget_->show();
        return;
    }
    applyParent();
}

void QtWindowHost::applyParent() {
    // The window system keeps the link on the native window, which exists once created.
    if (!widget_ || !parent_)
        return;
    widget_->winId();
    parent_->winId();
    if (widget_->windowHandle() && parent_->windowHandle())
        widget_->windowHandle()->setTransientParent(parent_->windowHandle());
}

void QtWindowHost::invalidate(const Rect& rect) {
    if (!widget_)
        return;
    if (rect.isEmpty())
        widget_->scheduleFlush();
    else
        widget_->invalidateRect(rect);
}

void QtWindowHost::nativeContentChanged() {
    if (!widget_)
        return;
    widget_->scheduleFlush();
}

void QtWindowHost::setModal(bool modal) {
    if (!widget_)
        return;
    const Qt::WindowModality wanted = modal ? Qt::ApplicationModal : Qt::NonModal;
    if (widget_->windowModality() == wanted)
        return;
    // Qt holds back the other windows (their clicks, their menus' shortcuts) only for a window
    // that is shown as modal: one on show already is shown again.
    const bool wasVisible = widget_->isVisible();
    if (wasVisible)
        widget_->hide();
    if (modal) {
        // A dialog of the window it holds back, so that the window manager keeps it above that
        // window instead of letting a click there raise the window over it.
        ui::Window* key = ui::Window::keyWindow();
        HostWidget* over = key && key != &window_ ? hostWidget(*key) : nullptr;
        widget_->setWindowFlag(Qt::Dialog, true);
        if (over && over != widget_.data()) {
            widget_->winId();
            over->winId();
            if (widget_->windowHandle() && over->windowHandle())
                widget_->windowHandle()->setTransientParent(over->windowHandle());
        }
    }
    widget_->setWindowModality(wanted);
    if (wasVisible)
        widget_->show();
}

HostWidget* hostWidget(const ui::Window& window) {
    auto* host = dynamic_cast<QtWindowHost*>(window.host());
    return host ? host->widget() : nullptr;
}

namespace {

QMenuBar* showBar(ui::Window& window, QMenuBar* (*make)(const std::shared_ptr<Menu>&, QWidget*)) {
    auto* host = dynamic_cast<QtWindowHost*>(window.host());
    auto menu = mainMenu();
    if (!host || !menu)
        return nullptr;
    QMenuBar* bar = make(menu, host->widget());
    host->setMenuBar(bar);
    return bar;
}

} // namespace

QMenuBar* showMainMenuBar(ui::Window& window) {
    return showBar(window, makeQtMenuBar);
}

QMenuBar* showMainMenuBarCopy(ui::Window& window) {
    return showBar(window, makeQtMenuBarCopy);
}

// --- Installation

void installQtHost() {
    ui::Window::setHostFactory([](ui::Window& w) { return std::make_unique<QtWindowHost>(w); });
    ui::setDragDriver([](const ui::DragRequest& r) -> unsigned {
        ui::Window* window = r.sourceView ? r.sourceView->window() : nullptr;
        HostWidget* source = window ? hostWidget(*window) : nullptr;
        if (!source)
            return ui::DragOperationNone;
        auto* drag = new QDrag(source);
        drag->setMimeData(ui::mimeFromPasteboardItems(r.pasteboard->items()));
        if (!r.image.isNull()) {
            drag->setPixmap(QPixmap::fromImage(r.image));
            drag->setHotSpot(QPoint(r.image.width() / 2, r.image.height() / 2));
        }
        currentDragSource = r.sourceView;
        Qt::DropAction done = drag->exec(dropActionsFromMask(r.operationMask));
        currentDragSource = nullptr;
        switch (done) {
        case Qt::CopyAction:
            return ui::DragOperationCopy;
        case Qt::MoveAction:
            return ui::DragOperationMove;
        case Qt::LinkAction:
            return ui::DragOperationLink;
        default:
            return ui::DragOperationNone;
        }
    });
    ui::Cursor::setApplier([](ui::CursorShape shape) {
        // One override at most: replaced, never stacked.
        Qt::CursorShape q = Qt::ArrowCursor;
        switch (shape) {
        case ui::CursorShape::Arrow:
            while (QGuiApplication::overrideCursor())
                QGuiApplication::restoreOverrideCursor();
            return;
        case ui::CursorShape::PointingHand:
            q = Qt::PointingHandCursor;
            break;
        case ui::CursorShape::ClosedHand:
            q = Qt::ClosedHandCursor;
            break;
        case ui::CursorShape::OpenHand:
            q = Qt::OpenHandCursor;
            break;
        case ui::CursorShape::IBeam:
            q = Qt::IBeamCursor;
            break;
        case ui::CursorShape::Crosshair:
            q = Qt::CrossCursor;
            break;
        case ui::CursorShape::ResizeLeftRight:
            q = Qt::SizeHorCursor;
            break;
        case ui::CursorShape::ResizeUpDown:
            q = Qt::SizeVerCursor;
            break;
        case ui::CursorShape::ContextualMenu:
            q = Qt::BitmapCursor;
            break;
        }
        const QCursor cursor = q == Qt::BitmapCursor ? contextualMenuCursor() : QCursor(q);
        if (QGuiApplication::overrideCursor())
            QGuiApplication::changeOverrideCursor(cursor);
        else
            QGuiApplication::setOverrideCursor(cursor);
    });
    installEditCommands();
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QObject::connect(app, &QGuiApplication::applicationStateChanged, app, [](Qt::ApplicationState s) {
            ui::Application::shared().setActive(s == Qt::ApplicationActive);
        });
}

bool startApplication(const std::vector<std::string>& args, ui::ApplicationDelegate& delegate) {
    applyDarkAppearance();
    const std::string name = ui::Application::instanceName();
    if (ui::Application::forwardToRunningInstance(name, ui::Application::filesFromArguments(args)))
        return false;
    MainQueue::useEventLoop();
    installQtHost();
    auto& app = ui::Application::shared();
    app.setDelegate(&delegate);
    // The loop ends as it is told: Qt's quit() would first ask each window to close, and a window
    // that declined would keep a process whose delegate has already let it end.
    app.setQuitHandler([] { QCoreApplication::exit(0); });
    app.listenForOtherInstances(name);
    auto* qapp = QCoreApplication::instance();
    QObject::connect(qapp, &QCoreApplication::aboutToQuit, qapp, [&app]() {
        if (!app.isTerminating())
            app.terminate();
    });
    QTimer::singleShot(0, qapp, [&app, args]() { app.finishLaunching(args); });
    return true;
}

void endApplication() {
    auto& app = ui::Application::shared();
    app.stopListening();
    MainQueue::discardPending();
    // Windows the quit left on screen close as the user would close them; what their closing
    // schedules has no loop left to run in.
    for (const auto& window : ui::Window::openWindows())
        window->close();
    MainQueue::discardPending();
    for (;;) {
        const QWidgetList tops = QApplication::topLevelWidgets();
        if (tops.isEmpty())
            break;
        delete tops.first();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    MainQueue::discardPending();
    app.setDelegate(nullptr);
}

int runApplication(int& argc, char** argv, ui::ApplicationDelegate& delegate) {
    QApplication qapp(argc, argv);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(argv[i]);
    if (!startApplication(args, delegate))
        return 0;
    const int code = QApplication::exec();
    endApplication();
    return code;
}

} // namespace qrn::qt
