#include "autocue_fixture.h"

#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/attributedStringStorageClass.h"
#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/ui/window.h"

namespace autocuetest {

qrn::AttributedString run(const std::string& text, double size, const std::string& family) {
    qrn::TextAttributes attributes;
    attributes.font = qrn::fontAsStored(family, size);
    return qrn::AttributedString(text, attributes);
}

qrn::AttributedString script(int lines, double size, const std::string& family) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "Line " + std::to_string(i) + (i < lines ? "\n" : "");
    return run(text, size, family);
}

void AutocueTest::SetUp() {
    qrn::MainQueue::useManualClock();
    autocueDisplayClass::resetProcessStateForTests();
    autocueDisplayClass::setStudioAssetArrayAccessor([this] {
        std::vector<std::string> ids;
        for (int i = 0; i < assetCount; ++i)
            ids.push_back(std::to_string(i));
        return ids;
    });
}

void AutocueTest::TearDown() {
    autocueDisplayClass().closeWindow();
    autocueDisplayClass::setStudioAssetArrayAccessor(nullptr);
    attributedStringStorageClass().clearClass();
    controller.reset();
    qrn::MainQueue::useManualClock();
}

void AutocueTest::setScripts(std::vector<qrn::AttributedString> scripts, int assets) {
    assetCount = assets < 0 ? static_cast<int>(scripts.size()) + 1 : assets;
    attributedStringStorageClass().setAutocueStringArray(std::move(scripts));
}

void AutocueTest::open(bool settle) {
    autocueDisplayController::showWindow();
    controller = autocueDisplayController::current();
    ASSERT_TRUE(controller);
    if (settle)
        advance(0.5);
}

void AutocueTest::advance(double seconds) {
    qrn::MainQueue::advance(seconds);
}

double AutocueTest::top() const {
    return controller->textFieldTopConstraint()->value();
}

bool AutocueTest::highlighted(const std::shared_ptr<svgButtonClass>& button) {
    return button && button->svgIconObj() && button->svgIconObj()->keepChangedColourValue();
}

std::vector<double> AutocueTest::shownSizes() {
    std::vector<double> sizes;
    const auto text = autocueDisplayClass().getAutocueText();
    for (const auto& r : text.runs())
        if (r.attributes.font)
            sizes.push_back(r.attributes.font->size);
    return sizes;
}

} // namespace autocuetest
