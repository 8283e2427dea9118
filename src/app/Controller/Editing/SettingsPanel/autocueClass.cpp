#include "Controller/Editing/SettingsPanel/autocueClass.h"

#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/stylingClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window_controller.h"

namespace {
std::optional<autocueViewConfigurationOne> scriptPaneConfiguration;
std::optional<autocueViewConfigurationTwo> scriptWindowConfiguration;
bool scriptWindowIsOpen = false;
bool scriptWindowCanOpen = true;
std::shared_ptr<qrn::ui::WindowController> scriptWindowController;
// The texts the editors were last filled from. Once they are cleared (another project is being
// made or opened) the editors still hold a script of the project left, which belongs to none of
// the assets now in memory until they are filled again.
int shownTextsGeneration = 0;

void editorsShowCurrentTexts() {
    shownTextsGeneration = attributedStringStorageClass::textsGeneration();
}

bool editorsShowClearedTexts() {
    return shownTextsGeneration != attributedStringStorageClass::textsGeneration();
}

std::shared_ptr<qrn::ui::TextView> textViewOf(const std::shared_ptr<qrn::ui::ScrollView>& scroll) {
    return scroll ? std::dynamic_pointer_cast<qrn::ui::TextView>(scroll->documentView()) : nullptr;
}

std::shared_ptr<qrn::ui::TextView> paneTextView() {
    return scriptPaneConfiguration ? textViewOf(scriptPaneConfiguration->textField) : nullptr;
}

int selectedAssetPosition() {
    previewLayerClass model;
    const auto assets = model.getAssetArray();
    const auto found = std::find(assets.begin(), assets.end(), std::to_string(model.getSelectedAsset()));
    return found == assets.end() ? -1 : int(found - assets.begin());
}
} // namespace

void autocueClass::initialisation(const autocueViewConfigurationOne& configuration,
                                  std::shared_ptr<qrn::ui::WindowController> autocueWindow) {
    QRN_LOG_IN();
    scriptPaneConfiguration = configuration;
    editorsShowCurrentTexts();
    if (configuration.textFieldOverlayIcon)
        configuration.textFieldOverlayIcon->setHidden(true);
    scriptWindowController = std::move(autocueWindow);
    loadAutocueText(std::nullopt);
    checkIfTextFieldIsEmpty(false);
}

void autocueClass::initialisationTwo(const autocueViewConfigurationTwo& configuration) {
    QRN_LOG_IN();
    scriptWindowConfiguration = configuration;
    if (!scriptWindowIsOpen)
        editorsShowCurrentTexts();
}

std::shared_ptr<qrn::ui::TextView> autocueClass::visibleTextView() {
    if (scriptWindowIsOpen)
        return scriptWindowConfiguration ? textViewOf(scriptWindowConfiguration->textField) : nullptr;
    return paneTextView();
}

std::optional<qrn::AttributedString> autocueClass::getTextField() {
    QRN_LOG_IN();
    if (editorsShowClearedTexts())
        return std::nullopt;
    if (auto view = visibleTextView())
        return view->attributedString();
    return std::nullopt;
}

void autocueClass::setTextField(const qrn::AttributedString& string) {
    QRN_LOG_IN(LogValues{{"string", string.string()}});
    attributedStringStorageClass storage;
    storage.writeAutocueStrings();
    // The pane's editor lies over the pane and would cover the empty-script icon: an empty
    // script shown in the pane closes it (what was typed has gone to the store already).
    if (string.isEmpty() && !scriptWindowIsOpen)
        if (auto pane = paneTextView())
            pane->endEditing();
    if (auto view = visibleTextView())
        view->setAttributedString(string);
    editorsShowCurrentTexts();
    // The empty-script icon tells of the script shown now, not of the one shown before.
    checkIfTextFieldIsEmpty(scriptWindowIsOpen);
    // The scripts are not read back from the file: without a project folder, or after a failed
    // write, that would put old texts in place of the ones in memory.
}

void autocueClass::loadAutocueText(const std::optional<qrn::AttributedString>& string) {
    QRN_LOG_IN();
    if (string) {
        setTextField(*string);
        return;
    }
    attributedStringStorageClass storage;
    const int p = previewLayerClass().getSelectedAssetIndex();
    if (p == 0) {
        setTextField(storage.getProjectNotes());
    } else if (p > 0) {
        // A copy of the one script: showing it can write the scripts back while it is read.
        const auto& scripts = storage.getAutocueStringArray();
        if (size_t(p - 1) < scripts.size())
            setTextField(qrn::AttributedString(scripts[size_t(p - 1)]));
    }
}

void autocueClass::checkIfTextFieldIsEmpty(bool display) {
    if (!scriptPaneConfiguration || !scriptPaneConfiguration->textFieldIsEmptyIcon)
        return;
    auto& icon = *scriptPaneConfiguration->textFieldIsEmptyIcon;
    if (display) {
        icon.setHidden(true);
        return;
    }
    const auto view = visibleTextView();
    icon.setHidden(!view || !view->attributedString().isEmpty());
}

void autocueClass::displayTextFieldOverlay(bool display) {
    QRN_LOG_IN(LogValues{{"display", display}});
    if (!scriptPaneConfiguration)
        return;
    if (const auto& overlay = scriptPaneConfiguration->textFieldOverlay) {
        const bool dark = stylingClass().interfaceStyle() == "Dark";
        overlay->layer()->setBackgroundColour(
            display ? (dark ? qrn::Colour{1, 1, 1, 0.3} : qrn::Colour{0, 0, 0, 0.3}) : qrn::Colour::clear());
    }
    if (scriptPaneConfiguration->textFieldOverlayIcon)
        scriptPaneConfiguration->textFieldOverlayIcon->setHidden(!display);
    checkIfTextFieldIsEmpty(display);
}

void autocueClass::openAutocueWindowObjc() {
    QRN_LOG_IN();
    if (scriptWindowCanOpen)
        displayAutocueWindow(false);
}

void autocueClass::displayAutocueWindow(bool forceClose) {
    QRN_LOG_IN(LogValues{{"forceClose", forceClose}});
    if (scriptWindowIsOpen) {
        const bool stale = editorsShowClearedTexts();
        const auto text = getTextField();
        scriptWindowIsOpen = false;
        scriptWindowCanOpen = true;
        if (!stale)
            loadAutocueText(text.value_or(qrn::AttributedString()));
        displayTextFieldOverlay(false);
        if (scriptWindowController)
            scriptWindowController->close();
    } else if (forceClose) {
        // Leaving the project (New, Open, the studio): the pane's editor closes with it, so it
        // is not left open over the next project's pane.
        if (auto pane = paneTextView())
            pane->endEditing();
        checkIfTextFieldIsEmpty(false);
    } else {
        const auto text = getTextField();
        scriptWindowIsOpen = true;
        scriptWindowCanOpen = false;
        // The window's view is loaded before its text goes in.
        if (scriptWindowController)
            scriptWindowController->window();
        loadAutocueText(text.value_or(qrn::AttributedString()));
        if (auto pane = paneTextView()) {
            // An editor left open over the pane would hide the veil and take typing meant for
            // the window.
            pane->endEditing();
            pane->setAttributedString(qrn::AttributedString());
        }
        displayTextFieldOverlay(true);
        if (scriptWindowController)
            scriptWindowController->showWindow();
    }
}

void autocueClass::autocueWindowClosed() {
    QRN_LOG_IN();
    // A script of the project left goes neither into the pane nor to an asset of this one.
    const bool stale = editorsShowClearedTexts();
    const auto text = getTextField().value_or(qrn::AttributedString());
    scriptWindowIsOpen = false;
    scriptWindowCanOpen = true;
    if (!stale)
        loadAutocueText(text);
    displayTextFieldOverlay(false);
    if (stale)
        return;
    const int p = selectedAssetPosition();
    attributedStringStorageClass storage;
    if (p == 0) {
        storage.setProjectNotes(text);
    } else if (p > 0) {
        auto scripts = storage.getAutocueStringArray();
        if (size_t(p - 1) < scripts.size()) {
            scripts[size_t(p - 1)] = text;
            storage.setAutocueStringArray(std::move(scripts));
        }
    }
}

bool autocueClass::getScriptEditorWindowOpen() {
    return scriptWindowIsOpen;
}

void autocueClass::scriptTyped(const qrn::AttributedString& text) {
    const int p = editorsShowClearedTexts() ? -1 : selectedAssetPosition();
    if (p >= 0)
        attributedStringStorageClass().setScriptAfterDelay(p, text);
    checkIfTextFieldIsEmpty(scriptWindowIsOpen);
}

std::shared_ptr<qrn::ui::WindowController> autocueClass::getScriptWindowController() {
    return scriptWindowController;
}

void autocueClass::resetForTesting() {
    scriptPaneConfiguration.reset();
    scriptWindowConfiguration.reset();
    scriptWindowIsOpen = false;
    scriptWindowCanOpen = true;
    scriptWindowController.reset();
    editorsShowCurrentTexts();
}
