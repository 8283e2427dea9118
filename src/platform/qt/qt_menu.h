#pragma once
// Shows a Menu model as a Qt menu bar and keeps it current as items change.
#include <memory>

class QMenuBar;
class QMenu;
class QWidget;

namespace qrn {

class Menu;

// The bar is owned by `parent` (or the caller when there is none).
QMenuBar* makeQtMenuBar(const std::shared_ptr<Menu>& menu, QWidget* parent = nullptr);
// A second bar for another window (the script window): its menus are built from the model each
// time they open, so it follows the model without taking over the items' change handlers from
// the bar that makeQtMenuBar made. Its items show their key equivalents but leave them to that
// bar, which handles them in every window.
QMenuBar* makeQtMenuBarCopy(const std::shared_ptr<Menu>& menu, QWidget* parent = nullptr);
// One menu (a context menu, or a submenu) built from the model.
QMenu* makeQtMenu(const std::shared_ptr<Menu>& menu, QWidget* parent = nullptr);
// Views lay their text out at 72 dots per inch, so a 12 pt font there and a 9 pt one on a
// 96 dpi screen are both 12 pixels, and Qt's font cache takes one for the other. The menu style
// draws an item in the point size the cache reports while it measured the item in its own: the
// items came out larger than their menu, cut in the middle. A menu's font is kept apart in the
// cache by a style strategy that changes nothing of its drawing.
void keepMenuFontApart(QMenu* menu);

} // namespace qrn
