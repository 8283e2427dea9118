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
// One menu (a context menu, or a submenu) built from the model.
QMenu* makeQtMenu(const std::shared_ptr<Menu>& menu, QWidget* parent = nullptr);

} // namespace qrn
