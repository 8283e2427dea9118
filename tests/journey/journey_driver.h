#pragma once
// A presenter's hands for the journey: mouse and key events sent through QApplication to the
// host widgets of the real windows, menu items triggered through the real menu bar, the file
// dialogs answered as a user would answer them, and waits on the real event loop.
#include <QImage>
#include <QMimeData>
#include <QPoint>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"
#include "platform/ui/view.h"
#include "platform/ui/window.h"

class QWidget;

namespace journey {

// Processes Qt events (and so the main queue) until `done` holds or `seconds` pass. The wait
// costs nothing when things are on time, so it is generous: on a machine loaded many times over,
// a click can take seconds to act.
bool waitUntil(const std::function<bool()>& done, double seconds = 10);
// Lets the event loop run for `seconds` of real time (the app's own delays must pass).
void settle(double seconds);

// The shown windows; the one whose content view controller is a `T`.
std::vector<qrn::ui::WindowPtr> shownWindows();
template <typename T> T* controllerIn(qrn::ui::WindowPtr* found = nullptr) {
    for (auto& w : shownWindows())
        if (auto* c = dynamic_cast<T*>(w->contentViewController())) {
            if (found)
                *found = w;
            return c;
        }
    return nullptr;
}
qrn::ui::WindowPtr windowTitled(const std::string& title);

// The Qt pixel of a point in a view's own coordinates (the view's centre when omitted).
QPoint pixelOf(const qrn::ui::View& view);
QPoint pixelOf(const qrn::ui::View& view, qrn::Point local);
QWidget* hostOf(const qrn::ui::View& view);

// Mouse input on the window of `view`.
void press(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods = Qt::NoModifier);
void release(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods = Qt::NoModifier);
// The centre of what the view's ancestors leave on show, in the view's space.
qrn::Point visibleCentre(const qrn::ui::View& view);
// A point of the view (its own space) where a press reaches it, nearest the middle of what is
// on show; none when the view is covered or scrolled away.
std::optional<qrn::Point> clickablePoint(const qrn::ui::View& view);
// Clicks the view where a press reaches it (a failure when none does).
void click(const qrn::ui::View& view, Qt::KeyboardModifiers mods = Qt::NoModifier);
void clickAt(const qrn::ui::View& view, qrn::Point local, Qt::KeyboardModifiers mods = Qt::NoModifier);
void rightClick(const qrn::ui::View& view);
// Presses at `from`, moves in steps to `to` (both in `view`'s space) and releases there.
void drag(const qrn::ui::View& view, qrn::Point from, qrn::Point to, int steps = 8,
          Qt::KeyboardModifiers mods = Qt::NoModifier);
// A mouse wheel turn over the view (Qt's angle delta: 120 a notch).
void wheel(const qrn::ui::View& view, QPoint angleDelta);
void hover(const qrn::ui::View& view, qrn::Point local);

// Keys to the focused widget (the host widget of the key window when nothing else has focus).
void key(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {});
void type(const std::string& text);
// A key as the window system delivers it: the menus' shortcuts take it first, unless a modal
// window holds back the window they belong to; otherwise it goes on as key().
void keyThroughShortcuts(int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier);
QWidget* focusTarget();

// Triggers the menu bar item `menu` ▸ `item` of the window's real menu bar; false if missing
// or disabled.
bool menuItem(const qrn::ui::Window& window, const std::string& menu, const std::string& item);
// Whether menu > item of the window's menu bar is enabled; nothing when there is no such item.
std::optional<bool> menuItemEnabled(const qrn::ui::Window& window, const std::string& menu,
                                    const std::string& item);

// Drags files from outside (a file manager) onto a view: enter, move and drop events on its
// host widget. Returns whether the drop was taken.
bool dropFiles(const qrn::ui::View& onto, qrn::Point local, const std::vector<std::filesystem::path>& files);
// Carries a drag the app started (its QDrag's payload) to a view and drops it there.
bool dropMime(const qrn::ui::View& onto, qrn::Point local, const QMimeData& mime);
// The payload of the drag the app started last from `source`'s window, if one is still there.
std::unique_ptr<QMimeData> lastDragPayload(const qrn::ui::View& source);

// The next file dialog that opens is answered with `path` (save: the typed name; open: the
// chosen entry), or cancelled with an empty path. Answers queue in order.
void answerNextFileDialog(const std::filesystem::path& path);
// How many file dialogs were answered, and the titles they showed.
int fileDialogsAnswered();
// When the last file dialog was answered, as its Choose or Save button would be clicked: the
// presenter's choice, from which what the choice starts is timed. None before the first answer.
std::optional<std::chrono::steady_clock::time_point> lastFileDialogAnswerTime();
// Message boxes (alerts) that opened: their texts. Each is dismissed with its default button.
const std::vector<std::string>& alertsSeen();
// Starts watching for modal dialogs; call once before the first one can open.
void watchDialogs();
void stopWatchingDialogs();

// What the window shows now, as the host widget paints it.
QImage grab(const qrn::ui::Window& window);

} // namespace journey
