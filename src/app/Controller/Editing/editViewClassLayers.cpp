// Text layers keep their texts outside the layer rows: per asset, one text per text layer, in
// the order of those layers.
#include <algorithm>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Model/attributedStringStorageClass.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace {

bool isTextReference(const imageReferenceArray& reference) {
    return !reference.empty() && reference.front().isInteger() && reference.front().toInt() == 1 &&
           reference.back().isInteger() && reference.back().toInt() == 1;
}

// The default a text layer shows when its asset holds no text for it.
qrn::AttributedString defaultSymbolText() {
    qrn::TextAttributes attributes;
    attributes.font = qrn::Font{"Helvetica Neue", "Helvetica Neue", "", 20.0};
    attributes.foregroundColour =
        qrn::namedColour("text_colour_light_dark", true).value_or(qrn::Colour::white());
    attributes.backgroundColour = qrn::Colour::clear();
    return qrn::AttributedString("text symbol", attributes);
}

} // namespace

qrn::AttributedString defaultTextSymbolText() {
    return defaultSymbolText();
}

int editViewClass::selectedLayerSpecialSymbolType(const std::optional<std::vector<qrn::Value>>& layer) {
    previewLayerClass model;
    const auto resolved = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    if (resolved.videoSelected || !resolved.layerIndex)
        return 0;
    const auto& references = model.getImageReferenceArray();
    const size_t a = size_t(resolved.assetIndex), l = size_t(*resolved.layerIndex);
    if (a >= references.size() || l >= references[a].size())
        return 0;
    const auto& reference = references[a][l];
    if (reference.empty() || !reference.front().isInteger() || reference.front().toInt() != 1)
        return 0;
    return reference.back().isInteger() ? int(reference.back().toInt()) : 0;
}

int editViewClass::getSelectedTextSymbolIndex(const std::optional<std::vector<qrn::Value>>& layer,
                                              bool lastLayer) {
    previewLayerClass model;
    const auto resolved = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    // Read in place: adding each text layer of an opened project asks this again.
    const auto& references = previewLayerClass::layerRows().references;
    const auto& layers = model.getLayerArrayReference();
    const size_t a = size_t(resolved.assetIndex);
    if (a >= layers.size() || a >= references.size())
        return -1;
    int l = -1;
    if (lastLayer)
        l = int(layers[a].size()) - 1;
    else if (resolved.layerIndex && !resolved.videoSelected)
        l = *resolved.layerIndex;
    int n = -1;
    for (int i = 0; i <= l && size_t(i) < references[a].size(); ++i)
        if (isTextReference(references[a][size_t(i)]))
            ++n;
    return n;
}

std::optional<qrn::AttributedString>
editViewClass::getSelectedTextSymbolText(const std::optional<std::vector<qrn::Value>>& layer) {
    if (selectedLayerSpecialSymbolType(layer) != 1)
        return std::nullopt;
    const auto& texts = attributedStringStorageClass().getTextSymbolStringArray();
    const size_t a =
        size_t(previewLayerClass().layerAssetIndexAndVideoSelectedParameterValues(layer).assetIndex);
    const int n = getSelectedTextSymbolIndex(layer, false);
    if (n < 0 || a >= texts.size() || size_t(n) >= texts[a].size())
        return std::nullopt;
    return texts[a][size_t(n)];
}

void editViewClass::updateSelectedTextSymbolText(const qrn::AttributedString& attributedString,
                                                 const std::optional<std::vector<qrn::Value>>& layer) {
    QRN_LOG_IN(LogValues{{"attributedString", attributedString.string()}});
    if (selectedLayerSpecialSymbolType(layer) != 1)
        return;
    previewLayerClass model;
    const auto resolved = model.layerAssetIndexAndVideoSelectedParameterValues(layer);
    const size_t a = size_t(resolved.assetIndex);
    const int n = getSelectedTextSymbolIndex(layer, false);
    attributedStringStorageClass storage;
    auto texts = storage.getTextSymbolStringArray();
    if (n < 0 || a >= model.getLayerArrayReference().size())
        return;
    if (texts.size() <= a)
        texts.resize(a + 1);
    // A project written with fewer texts than text layers gets the default for the missing ones.
    while (texts[a].size() <= size_t(n))
        texts[a].push_back(defaultSymbolText());
    texts[a][size_t(n)] = attributedString;
    storage.setTextSymbolStringArray(std::move(texts), 2);
    // The view of the layer named, which need not be the selected one.
    const auto& row = model.getLayerArrayReference()[a];
    const auto drop = getDragView()              ? getDragView()
                      : model.getConfiguration() ? model.getConfiguration()->layerContainerView
                                                 : nullptr;
    if (!drop || !resolved.layerIndex || size_t(*resolved.layerIndex) >= row.size())
        return;
    auto tagged = drop->viewWithTag(std::stoi(row[size_t(*resolved.layerIndex)]));
    auto holder = tagged ? tagged->superview() : nullptr;
    if (!holder || holder->subviews().empty())
        return;
    if (auto textView = std::dynamic_pointer_cast<qrn::ui::TextView>(holder->subviews().back()))
        textView->setAttributedString(attributedString);
}
