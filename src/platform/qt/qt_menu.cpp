#include "platform/qt/qt_menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "platform/ui/menu.h"

namespace qrn {

namespace {

void fillMenu(QMenu* qmenu, const std::shared_ptr<Menu>& menu, bool mainMenu);

// The main menu's key equivalents work in every window of the application, as the menu bar is
// the application's, not one window's: Ctrl+W closes the script window too.
QAction* makeAction(QWidget* owner, const std::shared_ptr<Menu>& menu, const std::shared_ptr<MenuItem>& item,
                    bool mainMenu) {
    if (item->isSeparator()) {
        auto* sep = new QAction(owner);
        sep->setSeparator(true);
        return sep;
    }
    auto* action = new QAction(QString::fromStdString(item->shownTitle()), owner);
    if (!item->keyEquivalent().empty())
        action->setShortcut(QKeySequence(QString::fromStdString(item->keyEquivalent())));
    if (mainMenu)
        action->setShortcutContext(Qt::ApplicationShortcut);
    std::weak_ptr<MenuItem> weakItem = item;
    std::weak_ptr<Menu> weakMenu = menu;
    const auto refresh = [action = QPointer<QAction>(action), weakMenu](MenuItem& it) {
        if (!action)
            return;
        action->setText(QString::fromStdString(it.shownTitle()));
        action->setVisible(!it.isHidden());
        auto m = weakMenu.lock();
        action->setEnabled(m ? m->showsEnabled(it) : it.isEnabled());
    };
    refresh(*item);
    item->setChangeHandler(refresh);
    if (item->hasSubmenu()) {
        auto* sub = new QMenu(QString::fromStdString(item->title()), owner);
        fillMenu(sub, item->submenu(), mainMenu);
        action->setMenu(sub);
    } else {
        QObject::connect(action, &QAction::triggered, [weakItem] {
            if (auto it = weakItem.lock())
                it->perform();
        });
    }
    return action;
}

void fillMenu(QMenu* qmenu, const std::shared_ptr<Menu>& menu, bool mainMenu) {
    keepMenuFontApart(qmenu);
    qmenu->clear();
    for (const auto& item : menu->items())
        qmenu->addAction(makeAction(qmenu, menu, item, mainMenu));
    QPointer<QMenu> guard(qmenu);
    std::weak_ptr<Menu> weakMenu = menu;
    menu->setStructureHandler([guard, weakMenu, mainMenu](Menu&) {
        if (auto m = weakMenu.lock(); m && guard)
            fillMenu(guard, m, mainMenu);
    });
}

void fillBar(QMenuBar* bar, const std::shared_ptr<Menu>& menu) {
    bar->clear();
    for (const auto& item : menu->items()) {
        if (!item->hasSubmenu())
            continue;
        auto* qmenu = bar->addMenu(QString::fromStdString(item->title()));
        fillMenu(qmenu, item->submenu(), true);
        QPointer<QAction> action = qmenu->menuAction();
        item->setChangeHandler([action](MenuItem& it) {
            if (!action)
                return;
            action->setText(QString::fromStdString(it.title()));
            action->setVisible(!it.isHidden());
            action->setEnabled(it.isEnabled());
        });
    }
    QPointer<QMenuBar> guard(bar);
    std::weak_ptr<Menu> weakMenu = menu;
    menu->setStructureHandler([guard, weakMenu](Menu&) {
        if (auto m = weakMenu.lock(); m && guard)
            fillBar(guard, m);
    });
}

// The menu's items as the model has them now; submenus are filled the same way when they open.
void fillMenuCopy(QMenu* qmenu, const std::shared_ptr<Menu>& menu) {
    for (QMenu* old : qmenu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly))
        old->deleteLater();
    qmenu->clear();
    for (const auto& item : menu->items()) {
        if (item->isSeparator()) {
            qmenu->addSeparator();
            continue;
        }
        QString text = QString::fromStdString(item->shownTitle());
        if (!item->keyEquivalent().empty())
            text += '\t' + QKeySequence(QString::fromStdString(item->keyEquivalent()))
                               .toString(QKeySequence::NativeText);
        QAction* action = qmenu->addAction(text);
        action->setVisible(!item->isHidden());
        action->setEnabled(menu->showsEnabled(*item));
        if (item->hasSubmenu()) {
            auto* sub = new QMenu(QString::fromStdString(item->title()), qmenu);
            keepMenuFontApart(sub);
            std::weak_ptr<Menu> weakSub = item->submenu();
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, weakSub] {
                if (auto m = weakSub.lock())
                    fillMenuCopy(sub, m);
            });
            action->setMenu(sub);
        } else {
            std::weak_ptr<MenuItem> weakItem = item;
            QObject::connect(action, &QAction::triggered, [weakItem] {
                if (auto it = weakItem.lock())
                    it->perform();
            });
        }
    }
}

} // namespace

void keepMenuFontApart(QMenu* menu) {
    QFont font = QApplication::font(menu);
    font.setStyleStrategy(QFont::PreferAntialias);
    menu->setFont(font);
}

QMenuBar* makeQtMenuBar(const std::shared_ptr<Menu>& menu, QWidget* parent) {
    auto* bar = new QMenuBar(parent);
    // Keep the bar inside the window: a global menu service would hide it from our tests and
    // screenshots and is not what the screens expect.
    bar->setNativeMenuBar(false);
    if (menu)
        fillBar(bar, menu);
    return bar;
}

QMenuBar* makeQtMenuBarCopy(const std::shared_ptr<Menu>& menu, QWidget* parent) {
    auto* bar = new QMenuBar(parent);
    bar->setNativeMenuBar(false);
    if (!menu)
        return bar;
    for (const auto& item : menu->items()) {
        if (!item->hasSubmenu() || item->isHidden())
            continue;
        QMenu* qmenu = bar->addMenu(QString::fromStdString(item->title()));
        keepMenuFontApart(qmenu);
        std::weak_ptr<Menu> weakSub = item->submenu();
        QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [qmenu, weakSub] {
            if (auto m = weakSub.lock())
                fillMenuCopy(qmenu, m);
        });
    }
    return bar;
}

QMenu* makeQtMenu(const std::shared_ptr<Menu>& menu, QWidget* parent) {
    auto* qmenu = new QMenu(QString::fromStdString(menu->title()), parent);
    fillMenu(qmenu, menu, false);
    return qmenu;
}

} // namespace qrn
