#include "Controller/Editing/popupMenuClass.h"

#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/viewLoaderClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgIconClass.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/event.h"
#include "platform/ui/popover.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace {

std::unique_ptr<qrn::ui::Popover> popover;
std::string loadedIdentifier;
qrn::ui::ViewControllerPtr loadedController;
std::shared_ptr<qrn::ui::View> duplicateButton;
std::shared_ptr<qrn::ui::View> groupButton;
std::shared_ptr<qrn::ui::View> deleteButton;
// Every request moves it on: a delayed load made for an older request does nothing.
qrn::GenerationCounter requestCounter{10000};

const qrn::Rect iconFrame(21.0, 0.0, 38.0, 38.0);

std::shared_ptr<qrn::ui::View> popoverAnchor() {
    const auto configuration = viewLoaderClass().getConfig();
    if (!configuration || !configuration->mainView)
        return nullptr;
    const auto marker = configuration->mainView->viewWithTag(-6);
    return marker ? marker->superview() : nullptr;
}

qrn::ui::RectEdge preferredEdge(int edge) {
    switch (edge) {
    case 0:
        return qrn::ui::RectEdge::maxX;
    case 1:
        return qrn::ui::RectEdge::maxY;
    case 2:
        return qrn::ui::RectEdge::minX;
    default:
        return qrn::ui::RectEdge::minY;
    }
}

std::shared_ptr<svgIconClass> addIcon(qrn::ui::View& button, const char* name, bool enabled, int hoverMode) {
    auto icon = svgIconClass::make();
    icon->setIsButtonEnabled(enabled);
    icon->setImageView(svgIconView::createIconView(icon, std::nullopt, name, hoverMode, iconFrame, 80.0));
    button.addSubview(icon->getImageView());
    if (!enabled)
        icon->enableButton(false);
    return icon;
}

} // namespace

popupMenuClass::popupMenuClass() {
    if (popover)
        return;
    popover = std::make_unique<qrn::ui::Popover>();
    popover->setAnimates(true);
    popover->setBehaviour(qrn::ui::PopoverBehaviour::transient);
    popover->setWillClose([](qrn::ui::Popover&) { popupMenuClass().popoverWillClose(); });
}

popupMenuClass::popupMenuClass(std::shared_ptr<qrn::ui::View> duplicate, std::shared_ptr<qrn::ui::View> group,
                               std::shared_ptr<qrn::ui::View> remove)
    : popupMenuClass() {
    if (duplicate) {
        duplicateButton = std::move(duplicate);
        initialiseDuplicateButton();
    }
    if (group) {
        groupButton = std::move(group);
        initialiseGroupButton();
    }
    if (remove) {
        deleteButton = std::move(remove);
        initialiseDeleteButton();
    }
}

void popupMenuClass::initialiseDuplicateButton() {
    if (!duplicateButton)
        return;
    addIcon(*duplicateButton, "duplicate", true, 2);
    if (auto row = duplicateButton->superview()) {
        auto separator = qrn::ui::View::make(qrn::Rect(0.0, 38.0, row->frame().width(), 4.0));
        separator->layer()->setBackgroundColour(
            qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
        row->addSubview(separator);
    }
}

void popupMenuClass::initialiseGroupButton() {
    if (groupButton)
        addIcon(*groupButton, "group_add", false, 0);
}

void popupMenuClass::initialiseDeleteButton() {
    if (!deleteButton)
        return;
    auto icon = addIcon(*deleteButton, "remove", true, 2);
    icon->setChangeColourOnHover("#ff0000ff");
}

bool popupMenuClass::isPopoverDisplayed() {
    const bool shown = popover && popover->isShown();
    QRN_LOG_IN(LogValues{{"is popover shown", shown}});
    return shown;
}

void popupMenuClass::showPopover(const qrn::ui::Event& event, const std::string& viewControllerIdentifier,
                                 int edge) {
    QRN_LOG_IN(LogValues{{"viewControllerIdentifier", viewControllerIdentifier}, {"edge", edge}});
    const int request = requestCounter.increment();
    if (viewControllerIdentifier == loadedIdentifier) {
        displayPopover(event, edge);
        return;
    }
    popover->performClose();
    const qrn::Point location = event.locationInWindow;
    editViewClass::afterOnThisScreen(0.2, [request, location, edge, viewControllerIdentifier] {
        if (!requestCounter.isCurrent(request) || !editViewClass().getEditViewSelected())
            return;
        auto controller = qrn::ui::SceneRegistry::instantiateViewController(viewControllerIdentifier);
        if (!controller)
            return;
        popupMenuClass menu;
        popover->setContentViewController(controller);
        loadedIdentifier = viewControllerIdentifier;
        loadedController = controller;
        qrn::ui::Event at = qrn::ui::Event::mouse(qrn::ui::EventType::RightMouseDown, location);
        menu.displayPopover(at, edge);
    });
}

void popupMenuClass::displayPopover(const qrn::ui::Event& event, int edge) {
    QRN_LOG_IN(LogValues{{"edge", edge}});
    const auto anchor = popoverAnchor();
    if (!anchor || !anchor->superview() || !popover)
        return;
    const qrn::Point p = anchor->superview()->convertPointFromView(event.locationInWindow, nullptr);
    anchor->setFrame(qrn::Rect(p.x - 2.0, p.y + 3.0, 1.0, 1.0));
    anchor->setHidden(false);
    popover->show(anchor->bounds(), *anchor, preferredEdge(edge));
}

void popupMenuClass::closePopover() {
    QRN_LOG_IN();
    // A menu still waiting to load was asked for before this close.
    requestCounter.increment();
    if (popover)
        popover->performClose();
}

void popupMenuClass::popoverWillClose() {
    if (auto anchor = popoverAnchor())
        anchor->setHidden(true);
}

std::string popupMenuClass::getLoadedIdentifier() {
    return loadedIdentifier;
}

qrn::ui::Popover* popupMenuClass::getPopover() {
    return popover.get();
}

void popupMenuClass::clearClass() {
    requestCounter.increment();
    if (popover)
        popover->close();
    if (popover)
        popover->setContentViewController(nullptr);
    loadedIdentifier.clear();
    loadedController.reset();
    duplicateButton.reset();
    groupButton.reset();
    deleteButton.reset();
}
