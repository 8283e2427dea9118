#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsFilterClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "platform/ui/scroll_view.h"

namespace {
std::shared_ptr<qrn::ui::View> tabView;
}

void layerSettingsFilterClass::setTabView(std::shared_ptr<qrn::ui::View> view) {
    tabView = std::move(view);
}

void layerSettingsFilterClass::initialiseViews() {
    QRN_LOG_IN();
    if (!tabView)
        return;
    tabView->addSubview(filterOrderedListClass().constructOrderedList(tabView, false));
    QRN_LOG_OUT();
}

void layerSettingsFilterController::loadView() {
    setView(qrn::ui::View::make(qrn::Rect(0, 0, 694, 682)));
}

void layerSettingsFilterController::viewDidLoad() {
    QRN_LOG_IN();
    layerSettingsFilterClass filter;
    filter.setTabView(view());
    filter.initialiseViews();
}
