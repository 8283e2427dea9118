#include "Controller/Editing/settingsViewClass.h"

#include "Controller/Global/dataLoggingClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/scene_registry.h"

namespace {

std::shared_ptr<qrn::ui::View> panelContainer;
int selectedViewNumber = 0;
std::vector<qrn::ui::ViewControllerPtr> VIEW_REFERENCE_ARRAY(3);
qrn::ui::ViewControllerPtr layerSettingsViewReference;

const char* const paneIdentifiers[] = {"symbolsView", "scriptView", "settingsView"};

const char* paneIdentifier(int viewNumber) {
    return viewNumber == 0 ? paneIdentifiers[0] : viewNumber == 1 ? paneIdentifiers[1] : paneIdentifiers[2];
}

} // namespace

settingsViewClass::settingsViewClass(const std::shared_ptr<qrn::ui::View>& container) {
    QRN_LOG_IN(LogValues{{"value", container != nullptr}});
    panelContainer = container;
    if (panelContainer) {
        panelContainer->setAutoresizesSubviews(true);
        auto layer = panelContainer->layer();
        layer->setBorderWidth(1.0);
        layer->setBorderColour(
            qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
    }
    if (!layerSettingsViewReference)
        layerSettingsViewReference =
            qrn::ui::SceneRegistry::instantiateViewController("layerSettingsMenuView");
    QRN_LOG_OUT(LogValues{{"layerSettingsViewReference", layerSettingsViewReference != nullptr}});
}

void settingsViewClass::setSelectedViewNumber(int viewNumber) {
    QRN_LOG_IN(LogValues{{"viewNumber", viewNumber}});
    selectedViewNumber = viewNumber;
}

int settingsViewClass::getSelectedViewNumber() {
    return selectedViewNumber;
}

void settingsViewClass::setViewReferenceArray(std::vector<qrn::ui::ViewControllerPtr> references) {
    QRN_LOG_IN(LogValues{{"VIEW_REFERENCE_ARRAY", int(references.size())}});
    VIEW_REFERENCE_ARRAY = std::move(references);
}

std::vector<qrn::ui::ViewControllerPtr> settingsViewClass::getViewReferenceArray() {
    return VIEW_REFERENCE_ARRAY;
}

bool settingsViewClass::loadSettingsView(std::optional<int> viewNumber) {
    QRN_LOG_IN(LogValues{{"viewNumber", viewNumber ? qrn::Value(*viewNumber) : qrn::Value()}});
    if (!panelContainer) {
        QRN_LOG_OUT(LogValues{{"bool", false}});
        return false;
    }
    const int number = viewNumber.value_or(selectedViewNumber);
    const bool inRange = number >= 0 && size_t(number) < VIEW_REFERENCE_ARRAY.size();
    if (viewNumber) {
        // The pane on show stays as it is, unless the studio let go of its controller: then the
        // old view would stay up with nothing behind it.
        const bool slotEmpty = inRange && !VIEW_REFERENCE_ARRAY[size_t(number)];
        if (number == selectedViewNumber && !slotEmpty) {
            QRN_LOG_OUT(LogValues{{"bool", false}});
            return false;
        }
        selectedViewNumber = number;
    }
    if (!inRange) {
        QRN_LOG_OUT(LogValues{{"bool", false}});
        return false;
    }
    auto& slot = VIEW_REFERENCE_ARRAY[size_t(number)];
    if (!slot)
        slot = qrn::ui::SceneRegistry::instantiateViewController(paneIdentifier(number));
    if (!slot) {
        QRN_LOG_ERROR(std::string("No scene ") + paneIdentifier(number));
        return false;
    }
    panelContainer->setSubviews({});
    const auto& pane = slot->view();
    pane->setFrame(panelContainer->bounds());
    pane->setAutoresizesSubviews(true);
    pane->setAutoresizingMask(qrn::ui::HeightSizable);
    panelContainer->addSubview(pane);
    QRN_LOG_OUT(LogValues{{"bool", true}});
    return true;
}

qrn::ui::ViewControllerPtr settingsViewClass::getLayerSettingsViewReference() {
    return layerSettingsViewReference;
}

void settingsViewClass::resetPanelForTesting() {
    panelContainer.reset();
    // The tab menu keeps its highlight with the selected tab; both start afresh per test.
    layerSettingsViewReference.reset();
    selectedViewNumber = 0;
    VIEW_REFERENCE_ARRAY = std::vector<qrn::ui::ViewControllerPtr>(3);
}
