#include "Controller/Global/mouseCursorClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainWindowClass.h"
#include "platform/ui/window.h"

namespace {
// Never cleared; it stops naming a window once that window is gone.
std::weak_ptr<qrn::ui::Window> cachedMainWindow;
} // namespace

mouseCursorClass::mouseCursorClass() {
    mainWindowCache();
}

std::shared_ptr<qrn::ui::Window> mouseCursorClass::mainWindowCache() {
    if (auto window = mainWindowClass().getCurrentMainWindow())
        cachedMainWindow = window;
    auto window = cachedMainWindow.lock();
    QRN_LOG_AT(0, false, LogValues{{"mainWindow", window != nullptr}});
    return window;
}

std::shared_ptr<qrn::ui::Window> mouseCursorClass::getCachedMainWindow() {
    return cachedMainWindow.lock();
}

void mouseCursorClass::changeCursor(std::optional<qrn::ui::CursorShape> cursor) {
    QRN_LOG_IN(LogValues{{"changeCursor", cursor ? int(*cursor) : -1}});
    mainWindowCache();
    qrn::ui::Cursor::set(cursor.value_or(qrn::ui::CursorShape::Arrow));
    QRN_LOG_OUT();
}
