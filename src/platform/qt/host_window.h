#pragma once
// The bridge between our windows and Qt: one host widget per window that paints the window's
// layer tree with the renderer, turns Qt input into our events (the one place where y is
// flipped between Qt's y-down and our y-up space), and places native child widgets at their
// views' window rectangles. A window may show a menu bar across the top of its widget; our
// window space then covers the area below the bar, still measured up from the widget's bottom.
#include <QElapsedTimer>
#include <QMenuBar>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/renderer.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace qrn::qt {

// A Qt widget shown over a view (text editors, combo boxes), hidden with the view. The content
// owns the widget unless Qt deletes it first.
class NativeWidgetContent : public ui::NativeContent {
  public:
    explicit NativeWidgetContent(QWidget* widget) : widget_(widget) {}
    ~NativeWidgetContent() override;
    QWidget* widget() const { return widget_.data(); }

  private:
    QPointer<QWidget> widget_;
};

// Wraps `widget` and attaches it to `view`; returns the widget for chaining.
QWidget* hostNativeWidget(ui::View& view, QWidget* widget);

class HostWidget : public QWidget {
  public:
    explicit HostWidget(ui::Window& window);
    ~HostWidget() override;

    ui::Window& window() const { return *window_; }
    // The window is going away; events still queued for this widget are dropped.
    void detach() { window_ = nullptr; }
    // Our window space (y up) to the widget's pixels (y down) and back.
    QRect toQt(const Rect& r) const;
    Point fromQt(const QPointF& p) const;
    // For tests: what the last paint covered, and how many paints ran.
    const QRegion& lastPaintedRegion() const { return lastPainted_; }
    int paintCount() const { return paints_; }
    // Runs pending view drawing and places native widgets now.
    void flush();
    void scheduleFlush();
    void invalidateRect(const Rect& r);
    // Closing because our window closed (not the user): no questions asked.
    void closeFromWindow();

    // A menu bar above the content (replacing any earlier one; null removes it). The widget
    // owns it. The window's content keeps its size: the widget grows by the bar's height.
    void setMenuBar(QMenuBar* bar);
    QMenuBar* menuBar() const { return menuBar_.data(); }
    // Pixels above the content: the bar's height, or 0.
    int topInset() const { return menuBar_ ? menuBarHeight_ : 0; }
    // The part of the widget that shows the window's content.
    QRect contentArea() const { return QRect(0, topInset(), width(), height() - topInset()); }
    // The widget's rectangle for a content rectangle (both in Qt's y-down space).
    QRect frameForContent(const QRect& content) const { return content.adjusted(0, -topInset(), 0, 0); }

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; }
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void press(QMouseEvent* e);
    void sendKey(QKeyEvent* e, bool down);
    void layoutNativeWidgets();
    ui::DraggingInfo& dragInfo(const QDropEvent* e);

    ui::Window* window_;
    graphics::Renderer renderer_;
    QRegion lastPainted_;
    int paints_ = 0;
    bool flushScheduled_ = false;
    bool painting_ = false;
    bool closingFromWindow_ = false;
    // Shown and not yet painted: the window manager's frame is not known yet.
    bool framePending_ = false;
    // Repaints the animated layers met by the paints, only where they lie: when their picture
    // next changes, at most once a frame.
    QTimer animationTimer_;
    QRegion moving_;
    double movingDue_ = 0, lastMovingRepaint_ = -1;
    void scheduleMovingRepaint(double t);
    QTimer liveResizeTimer_;
    std::vector<QPointer<QWidget>> placed_;
    std::unique_ptr<ui::DraggingInfo> drag_;
    QPointer<QMenuBar> menuBar_;
    int menuBarHeight_ = 0;
    // Click counting across presses.
    QElapsedTimer lastPress_;
    QPointF lastPressPos_;
    int clickCount_ = 0;
};

// The window host that Window::setHostFactory installs.
class QtWindowHost : public ui::WindowHost {
  public:
    explicit QtWindowHost(ui::Window& window);
    ~QtWindowHost() override;
    HostWidget* widget() const { return widget_; }

    void show() override;
    void hide() override;
    void close() override;
    void setTitle(const std::string& title) override;
    void setContentRect(const Rect& rect) override;
    void setResizable(bool resizable) override;
    void setMinContentSize(Size size) override;
    void activate() override;
    void miniaturize() override;
    void deminiaturize() override;
    void invalidate(const Rect& rect) override;
    void nativeContentChanged() override;
    void setModal(bool modal) override;
    void setFullScreen(bool on) override;
    void setZoomed(bool on) override;
    Rect onScreen(const Rect& contentRect) const override;
    void setParentWindow(ui::Window* parent) override;

    // Shows `bar` above the content and keeps the content where and as large as it was.
    void setMenuBar(QMenuBar* bar);

  private:
    void applySizeLimits();
    void applyParent();
    ui::Window& window_;
    // Null once the application has ended and released every widget.
    QPointer<HostWidget> widget_;
    // The widget of the window this one belongs to, if any.
    QPointer<HostWidget> parent_;
};

// The host widget of a window, when it has one.
HostWidget* hostWidget(const ui::Window& window);

// Shows the application's main menu (ui/menu.h) as a menu bar at the top of the window, above
// its content. Returns the bar, or null when the window has no Qt host or there is no main
// menu. A menu model drives one bar at a time: the bar made last follows its changes.
QMenuBar* showMainMenuBar(ui::Window& window);
// The same menu in another window (makeQtMenuBarCopy), for windows whose text the Edit menu
// acts on: choosing from the main window's bar would make the main window key first.
QMenuBar* showMainMenuBarCopy(ui::Window& window);

// Screen space: ours is y up from the bottom of the primary screen.
QRect screenRectToQt(const Rect& r);
Rect screenRectFromQt(const QRect& r);

// Makes every new window a Qt window, and gives drags, the cursor and activation to Qt.
void installQtHost();

// Runs the program: QApplication, one instance per user (a later launch passes its files on and
// exits), start-up through the delegate, the event loop, then endApplication. Returns the exit code.
int runApplication(int& argc, char** argv, ui::ApplicationDelegate& delegate);

// The steps of runApplication around the event loop, on an existing QApplication.
// startApplication returns false when a running instance took the files instead.
bool startApplication(const std::vector<std::string>& args, ui::ApplicationDelegate& delegate);
// After the event loop: drops every block still queued, closes the windows still shown and
// deletes every Qt widget while Qt is still there, in that order. Screens that keep their windows
// until the process ends then hold windows without widgets, which go quietly. Without it, blocks
// queued in Qt would release windows inside Qt's own teardown, which cannot delete widgets then.
void endApplication();

} // namespace qrn::qt
