#include "View/Editing/SettingsPanel/Symbols/imagePickerController.h"

#include "Controller/Editing/SettingsPanel/Symbols/imagePickerClass.h"
#include "Controller/Global/dataLoggingClass.h"

namespace {
std::shared_ptr<imagePickerClass> pickerInstance;
const qrn::Rect paneFrame(0, 0, 694, 732);
} // namespace

void imagePickerController::loadView() {
    auto root = qrn::ui::View::make(paneFrame);
    sectionSelectionView =
        qrn::ui::View::make(qrn::Rect(0, paneFrame.height() - stripHeight, paneFrame.width(), stripHeight));
    sectionSelectionView->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::FlexibleMinYMargin);
    parentView = qrn::ui::View::make(qrn::Rect(0, 0, paneFrame.width(), paneFrame.height() - stripHeight));
    parentView->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::HeightSizable);
    root->addSubview(sectionSelectionView);
    root->addSubview(parentView);
    setView(root);
}

void imagePickerController::viewDidLoad() {
    QRN_LOG_IN();
    auto picker = std::make_shared<imagePickerClass>();
    picker->setViews(parentView, sectionSelectionView);
    picker->initializeScrollViews();
    pickerInstance = picker;
}

void symbolSelectionMenuIconView::mouseDown(const qrn::ui::Event&) {
    QRN_LOG_IN();
    if (subviews().empty() || !subviews().front()->tag())
        return;
    imagePickerClass().scrollViewSymbols(*subviews().front()->tag());
}
