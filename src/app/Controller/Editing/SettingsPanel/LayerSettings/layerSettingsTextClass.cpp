#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"

#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_view.h"

namespace {
std::optional<layerSettingsTextViews> textViews;
std::shared_ptr<qrn::ui::ViewController> controllerReference;
qrn::GenerationCounter fontColourCheck(10000);
// The controller's own instance, made at its load.
std::shared_ptr<layerSettingsTextClass> controllerInstance;

// A run's new font from a family name alone, so no face (bold, italic) is carried over. A name
// that opens no font leaves the run as it was.
std::optional<qrn::Font> fontFromFamily(const std::string& family, double size,
                                        const std::optional<qrn::Font>& old) {
    if (auto regular = qrn::fontWithFamily(family, size))
        return regular;
    if (auto named = qrn::fontNamed(family, size))
        return named;
    // Stored names are kept as written (drawn with a stand-in), as a project keeps them: the
    // default family, and the run's own family when only its size changes.
    if (family == layerSettingsTextClass::defaultFontFamily || (old && family == old->family))
        return qrn::fontAsStored(family, size);
    return std::nullopt;
}

// Every run's font of the selected text replaced by `make` (given the run's old font, if any),
// stored and shown.
template <typename Make> void refontSelectedText(Make make) {
    const auto text = editViewClass().getSelectedTextSymbolText(std::nullopt);
    if (!text)
        return;
    qrn::AttributedString out = *text;
    for (const auto& run : text->runs()) {
        if (auto font = make(run.attributes.font)) {
            qrn::TextAttributes changed;
            changed.font = *font;
            out.addAttributes(changed, run.range);
        }
    }
    layerSettingsTextClass().updateTextSymbolText(out, true);
}

// The text layer the tab works on: [asset position, layer id], none without a text layer.
std::optional<std::pair<int, int>> selectedTextLayer() {
    previewLayerClass model;
    if (model.getVideoLayerSelected() || !model.getSelectedLayer() ||
        editViewClass().selectedLayerSpecialSymbolType(std::nullopt) != 1)
        return std::nullopt;
    return std::make_pair(model.getSelectedAssetIndex(), *model.getSelectedLayer());
}
} // namespace

const std::vector<int>& layerSettingsTextClass::fontSizes() {
    static const std::vector<int> sizes{9, 10, 11, 12, 13, 14, 18, 24, 36, 48, 64, 72, 96, 144};
    return sizes;
}

void layerSettingsTextClass::setViews(std::optional<layerSettingsTextViews> views,
                                      std::shared_ptr<qrn::ui::ViewController> controller) {
    textViews = std::move(views);
    controllerReference = std::move(controller);
}

std::optional<layerSettingsTextViews> layerSettingsTextClass::getViews() {
    return textViews;
}

void layerSettingsTextClass::initialiseViews() {
    QRN_LOG_IN();
    if (!textViews)
        return;
    const auto& v = *textViews;
    const auto families = qrn::installedFontFamilies();
    v.fontFamilyInput->removeAllItems();
    v.fontFamilyInput->addItems(families);
    v.fontSizeInput->removeAllItems();
    for (int size : fontSizes())
        v.fontSizeInput->addItem(std::to_string(size));
    v.fontSizeInput->setStringValue(std::to_string(defaultFontSize));

    qrn::TextAttributes typing;
    typing.foregroundColour = qrn::ui::control_colours::text();
    typing.backgroundColour = qrn::Colour::clear();
    typing.font = qrn::fontAsStored(defaultFontFamily, defaultFontSize);
    v.textView->setTypingAttributes(typing);

    const auto text = editViewClass().getSelectedTextSymbolText(std::nullopt);
    v.textView->setAttributedString(text.value_or(qrn::AttributedString()));
    // The family box names the family the text is written in, installed or not (one that is
    // not is drawn by a stand-in, which the box does not name); the size box its size.
    std::string family = defaultFontFamily;
    if (text)
        for (const auto& run : text->runs())
            if (run.attributes.font && !run.attributes.font->family.empty()) {
                family = run.attributes.font->family;
                if (run.attributes.font->size > 0)
                    v.fontSizeInput->setStringValue(std::to_string(std::lround(run.attributes.font->size)));
                break;
            }
    const int index = v.fontFamilyInput->indexOf(family);
    v.fontFamilyInput->selectItem(index);
    if (index < 0)
        v.fontFamilyInput->setStringValue(family);
    const bool on = text.has_value();
    v.textView->setEditable(on);
    v.fontFamilyInput->setEnabled(on);
    v.fontFamilyInput->setEditable(on);
    v.fontSizeInput->setEnabled(on);
    v.fontSizeInput->setEditable(on);
    v.fontColourInput->setEnabled(on);
    // The well starts on the text's own colour: typing recolours the whole text with it.
    if (text)
        for (const auto& run : text->runs())
            if (run.attributes.foregroundColour) {
                v.fontColourInput->setColour(*run.attributes.foregroundColour);
                break;
            }
    QRN_LOG_OUT();
}

void layerSettingsTextClass::clearClass() {
    QRN_LOG_IN();
    controllerReference.reset();
}

void layerSettingsTextClass::updateTextSymbolText(const qrn::AttributedString& attributedString,
                                                  bool updateTextInput) {
    QRN_LOG_IN(
        LogValues{{"attributedString", attributedString.string()}, {"updateTextInput", updateTextInput}});
    // The open editor takes the text in place, its caret where it was.
    if (updateTextInput && textViews && textViews->textView)
        textViews->textView->setAttributedString(attributedString);
    editViewClass().updateSelectedTextSymbolText(attributedString, std::nullopt);
}

qrn::AttributedString layerSettingsTextClass::applyColourRule(const qrn::AttributedString& text,
                                                              const qrn::Colour& colour) {
    qrn::AttributedString out = text;
    qrn::TextAttributes coloured;
    coloured.foregroundColour = colour;
    for (const auto& run : text.runs())
        if (!run.attributes.font || run.attributes.foregroundColour)
            out.addAttributes(coloured, run.range);
    return out;
}

void layerSettingsTextClass::textChanged(const qrn::AttributedString& attributedString) {
    QRN_LOG_IN(LogValues{{"attributedString", attributedString.string()}});
    if (!textViews)
        return;
    updateTextSymbolText(applyColourRule(attributedString, textViews->fontColourInput->colour()), true);
}

void layerSettingsTextClass::changeFontFamily(qrn::ui::ComboBox&) {
    QRN_LOG_IN();
    if (!textViews)
        return;
    const std::string family = textViews->fontFamilyInput->stringValue();
    refontSelectedText([&](const std::optional<qrn::Font>& old) {
        return fontFromFamily(family, old ? old->size : double(defaultFontSize), old);
    });
}

void layerSettingsTextClass::changeFontSize(qrn::ui::ComboBox& sender) {
    QRN_LOG_IN(LogValues{{"sender", sender.stringValue()}});
    const int size = int(std::clamp<long long>(sender.integerValue(), minimumFontSize, maximumFontSize));
    sender.setIntegerValue(size);
    refontSelectedText([&](const std::optional<qrn::Font>& old) {
        return fontFromFamily(old ? old->family : std::string(defaultFontFamily), double(size), old);
    });
}

void layerSettingsTextClass::changeForegroundColourCheck(const qrn::Colour& colour,
                                                         const std::string& colourSpace) {
    QRN_LOG_IN(LogValues{{"colourSpace", colourSpace}});
    const int check = fontColourCheck.increment();
    // The change belongs to the text layer selected now, in this project.
    const auto layer = selectedTextLayer();
    const std::string project = persistentDataStorageClass().getProjectDirectory();
    qrn::MainQueue::after(0.1, [colour, colourSpace, check, layer, project] {
        if (!layer || selectedTextLayer() != layer ||
            persistentDataStorageClass().getProjectDirectory() != project)
            return;
        layerSettingsTextClass().changeForegroundColour(colour, colourSpace, check);
    });
}

void layerSettingsTextClass::changeForegroundColour(const qrn::Colour& colour, const std::string& colourSpace,
                                                    int fontColourCheckValue) {
    QRN_LOG_IN(LogValues{{"colourSpace", colourSpace}, {"fontColourCheckValue", fontColourCheckValue}});
    if (!fontColourCheck.isCurrent(fontColourCheckValue))
        return;
    const auto text = editViewClass().getSelectedTextSymbolText(std::nullopt);
    if (!text)
        return;
    updateTextSymbolText(applyColourRule(*text, colour), true);
}

void layerSettingsTextClass::resetForTesting() {
    textViews.reset();
    controllerReference.reset();
    controllerInstance.reset();
    fontColourCheck.reset();
}

// --- The tab's controller

void layerSettingsTextController::loadView() {
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, 694, 682));
    fontFamilyInput = qrn::ui::ComboBox::make(qrn::Rect(20, 632, 300, 26));
    fontSizeInput = qrn::ui::ComboBox::make(qrn::Rect(330, 632, 80, 26));
    fontColourInput = qrn::ui::ColourWell::make(qrn::Rect(420, 630, 44, 30));
    textView = qrn::ui::TextView::make(qrn::Rect(20, 20, 654, 596));
    textView->setDrawsBackground(true);
    textView->setBackgroundColour(qrn::ui::control_colours::controlBackground());
    textView->setTextInset(6);
    for (const auto& view : std::vector<std::shared_ptr<qrn::ui::View>>{fontFamilyInput, fontSizeInput,
                                                                        fontColourInput, textView}) {
        view->setAutoresizingMask(qrn::ui::FlexibleMinYMargin);
        root->addSubview(view);
    }
    textView->setAutoresizingMask(qrn::ui::HeightSizable);
    setView(root);
}

void layerSettingsTextController::viewDidLoad() {
    QRN_LOG_IN();
    const std::weak_ptr<qrn::ui::ViewController> weak = weak_from_this();
    const auto self = [weak] { return std::static_pointer_cast<layerSettingsTextController>(weak.lock()); };
    textView->setTextDidChange([self](qrn::ui::TextView&) {
        if (auto controller = self())
            controller->textDidChange();
    });
    fontColourInput->setAction([self](qrn::ui::Control& well) {
        if (auto controller = self())
            controller->changeColor(static_cast<qrn::ui::ColourWell&>(well).colour());
    });
    fontFamilyInput->setAction([self](qrn::ui::Control&) {
        if (auto controller = self())
            controller->fontFamilyAction();
    });
    fontSizeInput->setAction([self](qrn::ui::Control&) {
        if (auto controller = self())
            controller->fontSizeAction();
    });
    auto logic = std::make_shared<layerSettingsTextClass>();
    logic->setViews(layerSettingsTextViews{fontFamilyInput, fontColourInput, fontSizeInput, textView},
                    shared_from_this());
    controllerInstance = logic;
    logic->initialiseViews();
}

void layerSettingsTextController::viewWillDisappear() {
    if (controllerInstance)
        controllerInstance->clearClass();
}

void layerSettingsTextController::fontFamilyAction() {
    if (controllerInstance)
        controllerInstance->changeFontFamily(*fontFamilyInput);
}

void layerSettingsTextController::fontSizeAction() {
    if (controllerInstance)
        controllerInstance->changeFontSize(*fontSizeInput);
}

void layerSettingsTextController::changeColor(const qrn::Colour& colour) {
    QRN_LOG_IN();
    if (globalAppSettingsClass().getJustMovedBetweenOrReloadedScreens() || !controllerInstance)
        return;
    controllerInstance->changeForegroundColourCheck(colour, "sRGB");
}

void layerSettingsTextController::textDidChange() {
    if (controllerInstance)
        controllerInstance->textChanged(textView->attributedString());
}
