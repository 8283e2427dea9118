#include "View/Editing/Popover/popupMenuControllers.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "platform/ui/button.h"

namespace {

constexpr double menuWidth = 80.0;
constexpr double rowHeight = 42.0;
constexpr double buttonHeight = 38.0;

std::function<std::optional<int>()> hoveredAssetTagHook;
// Each menu keeps the styling object it made.
std::shared_ptr<popupMenuClass> menuOneStyling;
std::shared_ptr<popupMenuClass> menuTwoStyling;
std::shared_ptr<popupMenuClass> menuThreeStyling;

std::optional<int> hoveredAssetTag() {
    return hoveredAssetTagHook ? hoveredAssetTagHook() : std::nullopt;
}

void removeSelectedLayer() {
    previewLayerClass().removeLayer(std::nullopt, false);
    popupMenuClass().closePopover();
}

} // namespace

std::shared_ptr<qrn::ui::Button>
popupMenuControllerBase::addRowCalling(std::function<void(popupMenuControllerBase&)> action) {
    auto button = qrn::ui::Button::make(qrn::Rect(0, 0, menuWidth, buttonHeight), qrn::ui::ButtonType::image);
    button->setBordered(false);
    std::weak_ptr<qrn::ui::ViewController> weak = shared_from_this();
    button->setAction([weak, action = std::move(action)](qrn::ui::Control&) {
        if (auto menu = std::static_pointer_cast<popupMenuControllerBase>(weak.lock()))
            action(*menu);
    });
    rows_.push_back(button);
    return button;
}

void popupMenuControllerBase::loadView() {
    rows_.clear();
    makeRows();
    const double height = rowHeight * double(rows_.size());
    auto menu = qrn::ui::View::make(qrn::Rect(0, 0, menuWidth, height));
    // Top to bottom: the first row stands highest, each button at the foot of its row. The
    // buttons share the menu as their superview, so the separator the styling lays above the
    // lowest row's button parts the last row from the others.
    for (size_t i = 0; i < rows_.size(); ++i) {
        rows_[i]->setFrameOrigin({0, height - rowHeight * double(i + 1)});
        menu->addSubview(rows_[i]);
    }
    setView(menu);
}

popupMenuControllerOne::popupMenuControllerOne() = default;
popupMenuControllerTwo::popupMenuControllerTwo() = default;
popupMenuControllerThree::popupMenuControllerThree() = default;

void popupMenuControllerOne::makeRows() {
    groupButton = addRow(&popupMenuControllerOne::groupButtonAction);
    duplicateButton = addRow(&popupMenuControllerOne::duplicateButtonAction);
    deleteButton = addRow(&popupMenuControllerOne::deleteButtonAction);
}

void popupMenuControllerTwo::makeRows() {
    duplicateButton = addRow(&popupMenuControllerTwo::duplicateButtonAction);
    deleteButton = addRow(&popupMenuControllerTwo::deleteButtonAction);
}

void popupMenuControllerThree::makeRows() {
    deleteButton = addRow(&popupMenuControllerThree::deleteButtonAction);
}

void popupMenuControllerOne::viewDidLoad() {
    ViewController::viewDidLoad();
    menuOneStyling = std::make_shared<popupMenuClass>(duplicateButton, groupButton, deleteButton);
}

void popupMenuControllerOne::groupButtonAction() {
    QRN_LOG_IN();
}

void popupMenuControllerOne::duplicateButtonAction() {
    QRN_LOG_IN();
    previewLayerClass().duplicateLayer(std::nullopt, std::nullopt);
    popupMenuClass().closePopover();
}

void popupMenuControllerOne::deleteButtonAction() {
    QRN_LOG_IN();
    removeSelectedLayer();
}

void popupMenuControllerTwo::viewDidLoad() {
    ViewController::viewDidLoad();
    menuTwoStyling = std::make_shared<popupMenuClass>(duplicateButton, nullptr, deleteButton);
}

void popupMenuControllerTwo::duplicateButtonAction() {
    QRN_LOG_IN();
    editViewClass().duplicateAsset(hoveredAssetTag());
    popupMenuClass().closePopover();
}

void popupMenuControllerTwo::deleteButtonAction() {
    QRN_LOG_IN();
    previewLayerClass().removeAsset(hoveredAssetTag(), false);
    popupMenuClass().closePopover();
}

void popupMenuControllerTwo::setHoveredAssetTagHook(std::function<std::optional<int>()> hook) {
    hoveredAssetTagHook = std::move(hook);
}

void popupMenuControllerThree::viewDidLoad() {
    ViewController::viewDidLoad();
    menuThreeStyling = std::make_shared<popupMenuClass>(nullptr, nullptr, deleteButton);
}

void popupMenuControllerThree::deleteButtonAction() {
    QRN_LOG_IN();
    removeSelectedLayer();
}
