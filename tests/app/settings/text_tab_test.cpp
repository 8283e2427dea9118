#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextEdit>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/SettingsPanel/layerSettingsClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/font.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_view.h"
#include "settings_fixture.h"

using namespace settingstest;

namespace {

const qrn::Colour red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1};

class TextTab : public SettingsPanelTest {
  protected:
    layerSettingsTextViews views() { return *layerSettingsTextClass::getViews(); }
    void showText() {
        settingsViewClass().loadSettingsView(2);
        layerSettingsClass().loadSettingsView(1);
        ASSERT_TRUE(layerSettingsTextClass::getViews());
    }
    void leaveText() { layerSettingsClass().loadSettingsView(0); }
    static qrn::AttributedString stored() { return *editViewClass().getSelectedTextSymbolText(std::nullopt); }
    static void store(const qrn::AttributedString& text) {
        editViewClass().updateSelectedTextSymbolText(text, std::nullopt);
    }
    static qrn::TextAttributes coloured(const qrn::Colour& c, std::optional<qrn::Font> font = std::nullopt) {
        qrn::TextAttributes a;
        a.foregroundColour = c;
        a.font = font;
        return a;
    }
    static qrn::Font anyFont(double size, bool bold = false) {
        const auto families = qrn::installedFontFamilies();
        auto font = *qrn::fontWithFamily(families.front(), size);
        if (bold)
            if (auto face = qrn::fontNamed(font.family + " Bold", size))
                return *face;
        return font;
    }
};

} // namespace

TEST_F(TextTab, SizesAreKeptInsideTheirRangeAndWithoutATextLayerEverythingIsOff) {
    ASSERT_TRUE(createProject());
    selectLayer(addImageLayer());
    showText();
    auto v = views();
    EXPECT_FALSE(v.textView->isEditable());
    EXPECT_FALSE(v.fontFamilyInput->isEnabled());
    EXPECT_FALSE(v.fontSizeInput->isEnabled());
    EXPECT_FALSE(v.fontColourInput->isEnabled());
    EXPECT_TRUE(v.textView->attributedString().isEmpty());
    EXPECT_EQ(v.fontSizeInput->numberOfItems(), 14);
    EXPECT_EQ(v.fontSizeInput->itemAt(13), "144");
    EXPECT_EQ(v.fontSizeInput->stringValue(), "20");
    // Installed or not, the family box names the default family (a stand-in draws it here).
    EXPECT_EQ(v.fontFamilyInput->stringValue(), "Helvetica Neue");

    layerSettingsTextClass text;
    for (const auto& [typed, limited] : std::vector<std::pair<std::string, std::string>>{
             {"3", "5"}, {"500", "144"}, {"abc", "5"}, {"144", "144"}}) {
        v.fontSizeInput->setStringValue(typed);
        text.changeFontSize(*v.fontSizeInput);
        EXPECT_EQ(v.fontSizeInput->stringValue(), limited) << typed;
    }
    leaveText();
}

TEST_F(TextTab, ColourChangesCoalesceFollowTheRuleAndStayWithTheirLayer) {
    ASSERT_TRUE(createProject());
    const std::string first = addTextLayer();
    const std::string second = addTextLayer();
    selectLayer(first);
    const qrn::Font font = anyFont(30);
    qrn::AttributedString text("plain", coloured(red));
    text.append(qrn::AttributedString(" fontonly", [&] {
        qrn::TextAttributes a;
        a.font = font;
        return a;
    }()));
    text.append(qrn::AttributedString(" both", coloured(red, font)));
    store(text);
    showText();
    // The well starts on the text's own colour.
    EXPECT_EQ(views().fontColourInput->colour(), red);

    layerSettingsTextClass logic;
    for (const auto& c : {green, red, blue}) {
        logic.changeForegroundColourCheck(c, "sRGB");
        advance(0.03);
    }
    const auto before = stored();
    advance(0.05);
    EXPECT_EQ(stored(), before);
    advance(0.05);
    const auto after = stored();
    EXPECT_EQ(after.attributesAt(0).foregroundColour, blue);
    EXPECT_EQ(after.attributesAt(7).foregroundColour, std::nullopt);
    EXPECT_EQ(after.attributesAt(after.length() - 1).foregroundColour, blue);
    EXPECT_EQ(views().textView->attributedString(), after);

    // Another text layer selected within the delay is left alone.
    logic.changeForegroundColourCheck(green, "sRGB");
    selectLayer(second);
    const auto secondBefore = stored();
    advance(0.2);
    EXPECT_EQ(stored(), secondBefore);
    selectLayer(first);
    EXPECT_EQ(stored().attributesAt(0).foregroundColour, blue);

    // Changes while the screens are being switched are ignored.
    showText();
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    views().fontColourInput->setColour(green);
    views().fontColourInput->sendAction();
    advance(0.2);
    EXPECT_EQ(stored().attributesAt(0).foregroundColour, blue);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(false);
    leaveText();
}

// The change counter runs 0..9999: the 10000th change lands on 0 again, still applies, and
// neither the change it superseded nor a value past the bound does.
TEST_F(TextTab, TheColourChangeCounterWrapsAtTenThousand) {
    ASSERT_TRUE(createProject());
    selectLayer(addTextLayer());
    store(qrn::AttributedString("words", coloured(red)));
    showText();
    layerSettingsTextClass logic;
    for (int i = 0; i < 9999; ++i)
        logic.changeForegroundColourCheck(green, "sRGB");
    logic.changeForegroundColourCheck(blue, "sRGB");
    advance(0.1);
    EXPECT_EQ(stored().attributesAt(0).foregroundColour, blue) << "the change that wrapped";

    logic.changeForegroundColour(green, "sRGB", 9999);
    logic.changeForegroundColour(green, "sRGB", 10000);
    EXPECT_EQ(stored().attributesAt(0).foregroundColour, blue);
    logic.changeForegroundColour(red, "sRGB", 0);
    EXPECT_EQ(stored().attributesAt(0).foregroundColour, red);
    leaveText();
}

TEST_F(TextTab, FamilyAndSizeChangesTakeNoFaceAlongAndTypingKeepsTheTextColour) {
    ASSERT_TRUE(createProject());
    selectLayer(addTextLayer());
    const qrn::Font bold = anyFont(24, true);
    store(qrn::AttributedString("Bold words", coloured(red, bold)));
    showText();
    auto v = views();
    v.fontFamilyInput->setStringValue(bold.family);
    layerSettingsTextClass logic;
    logic.changeFontFamily(*v.fontFamilyInput);
    auto font = *stored().attributesAt(0).font;
    EXPECT_EQ(font.family, bold.family);
    EXPECT_EQ(font.size, 24);
    EXPECT_EQ(font.style, qrn::fontWithFamily(bold.family, 24)->style);
    v.fontSizeInput->setStringValue("36");
    logic.changeFontSize(*v.fontSizeInput);
    EXPECT_EQ(stored().attributesAt(0).font->size, 36);

    // Typing: red stays red, and the specialSymbolData.json write follows half a second later.
    std::filesystem::remove(projectPath() + "/specialSymbolData.json");
    auto typed = v.textView->attributedString();
    typed.replaceCharacters({4, 0}, QString("er"));
    v.textView->userEdited(typed);
    EXPECT_EQ(stored().string(), "Bolder words");
    EXPECT_EQ(stored().attributesAt(5).foregroundColour, red);
    EXPECT_FALSE(std::filesystem::exists(projectPath() + "/specialSymbolData.json"));
    advance(0.6);
    EXPECT_TRUE(std::filesystem::exists(projectPath() + "/specialSymbolData.json"));
    leaveText();
}

TEST_F(TextTab, TheFamilyBoxNamesTheFamilyTheTextIsWrittenInNotTheFaceThatDrawsIt) {
    ASSERT_TRUE(createProject());
    selectLayer(addTextLayer());
    // A new text layer's text is in Helvetica Neue, which a stand-in draws here.
    showText();
    EXPECT_EQ(views().fontFamilyInput->stringValue(), "Helvetica Neue");
    leaveText();
    // An installed family is named and selected in the list.
    const qrn::Font installed = anyFont(18);
    store(qrn::AttributedString("Installed", coloured(red, installed)));
    showText();
    EXPECT_EQ(views().fontFamilyInput->stringValue(), installed.family);
    EXPECT_EQ(views().fontFamilyInput->indexOfSelectedItem(),
              views().fontFamilyInput->indexOf(installed.family));
    leaveText();
}

TEST_F(TextTab, AStoredFamilyIsNamedAsWrittenAndKeptThroughASizeChange) {
    ASSERT_TRUE(createProject());
    selectLayer(addTextLayer());
    // Families read from a project that are not installed here: each is shown as written, and
    // a new size keeps it (and so it is written back as it was).
    for (const char* family : {"Helvetica Neue", "Helvetica", "Arial"}) {
        const auto read = attributedStringStorageClass().convertAttributesFromJSONToDictionary(
            qrn::Json{{"font", {{"name", family}, {"size", 20}}}});
        ASSERT_TRUE(read && read->font) << family;
        store(qrn::AttributedString("Words", *read));
        showText();
        auto v = views();
        EXPECT_EQ(v.fontFamilyInput->stringValue(), family);
        v.fontSizeInput->setStringValue("36");
        layerSettingsTextClass().changeFontSize(*v.fontSizeInput);
        const auto font = stored().attributesAt(0).font;
        ASSERT_TRUE(font) << family;
        EXPECT_EQ(font->name, family);
        EXPECT_EQ(font->size, 36) << family;
        leaveText();
        showText();
        EXPECT_EQ(views().fontFamilyInput->stringValue(), family);
        EXPECT_EQ(views().fontSizeInput->stringValue(), "36") << "the size box names the text's size";
        leaveText();
    }
}

TEST_F(TextTab, TypingInTheMiddleOfTheOpenEditorKeepsTheCaretWhereItIs) {
    qrn::qt::installQtControls();
    ASSERT_TRUE(createProject());
    selectLayer(addTextLayer());
    store(qrn::AttributedString("Hello world", coloured(red)));
    showText();
    auto view = views().textView;
    view->beginEditing();
    auto content = std::dynamic_pointer_cast<qrn::qt::NativeWidgetContent>(view->nativeContent());
    ASSERT_TRUE(content);
    auto* edit = qobject_cast<QTextEdit*>(content->widget());
    ASSERT_TRUE(edit);
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(5);
    edit->setTextCursor(cursor);
    edit->insertPlainText(",");
    EXPECT_EQ(stored().string(), "Hello, world");
    EXPECT_EQ(edit->textCursor().position(), 6);
    edit->insertPlainText(" big");
    EXPECT_EQ(stored().string(), "Hello, big world");
    EXPECT_EQ(stored().attributesAt(8).foregroundColour, red);
    view->endEditing();
    leaveText();
}
