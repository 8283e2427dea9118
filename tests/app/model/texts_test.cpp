#include <gtest/gtest.h>

#include "Model/stylingClass.h"
#include "model_fixture.h"
#include "platform/foundation/files.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window.h"

using namespace modeltest;

namespace {

qrn::TextAttributes richAttributes() {
    qrn::TextAttributes a;
    a.font = qrn::fontWithFamily(qrn::installedFontFamilies().front(), 17);
    a.foregroundColour = qrn::Colour{1, 0, 0, 0.4};
    a.backgroundColour = qrn::Colour{0, 0, 1, 1};
    qrn::ParagraphStyle style;
    style.alignment = 1;
    style.headIndent = 4;
    style.tailIndent = -2;
    style.lineHeightMultiple = 1.5;
    style.lineSpacing = 3;
    style.paragraphSpacing = 6;
    a.paragraphStyle = style;
    a.underlineStyle = qrn::underline::single;
    a.writingDirection = qrn::writing_direction::rightToLeft;
    return a;
}

qrn::Json decodeOne(const char* json) {
    return qrn::Json::array({qrn::Json::parse(json)});
}

void setAppearance(const char* style) {
    qrn::UserDefaults::standard().set("AppleInterfaceStyle", style);
    stylingClass::resetInterfaceStyleForTesting();
}

// Counts the writes of one file of the package into `writes`, failing none.
void countWrites(const char* file, int& writes) {
    qrn::files::setWriteFailureForTesting(
        [file, &writes](qrn::files::WriteStep step, const qrn::files::Path& p) {
            if (step == qrn::files::WriteStep::Rename && p.filename() == file)
                ++writes;
            return false;
        });
}

} // namespace

TEST(ScriptAndSymbolTexts, CodecRoundTripKeepsRunsAttributesAndUtf16Ranges) {
    attributedStringStorageClass storage;
    // "😀" is a surrogate pair: two code units.
    qrn::AttributedString text(QString::fromUtf8("ab😀cd"));
    qrn::TextAttributes green;
    green.foregroundColour = qrn::Colour{0, 1, 0, 1};
    green.link = "https://example.org"; // not a stored attribute
    text.addAttributes(green, {0, 2});
    text.addAttributes(richAttributes(), {2, 3});

    const qrn::Json encoded = storage.saveAttributedString({text, qrn::AttributedString()});
    ASSERT_EQ(encoded.size(), 2u);
    const auto& runs = encoded[0]["runs"];
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0]["range"], qrn::Json::parse("[0, 2]"));
    EXPECT_EQ(runs[1]["range"], qrn::Json::parse("[2, 5]"));
    EXPECT_EQ(runs[2]["range"], qrn::Json::parse("[5, 6]"));
    EXPECT_EQ(runs[0]["attributes"], qrn::Json::parse(R"({"text_colour": {"RGB": [0, 255, 0, 1.0]}})"));
    EXPECT_EQ(runs[2]["attributes"], qrn::Json::object());
    EXPECT_DOUBLE_EQ(runs[1]["attributes"]["text_colour"]["RGB"][3].get<double>(), 0.4);
    EXPECT_EQ(encoded[1], qrn::Json::parse(R"({"runs": [], "string": ""})"));

    const auto decoded = storage.importAttributedString(encoded);
    ASSERT_EQ(decoded.size(), 2u);
    qrn::AttributedString expected = text;
    expected.removeAttribute(qrn::AttributeKey::link, expected.wholeRange());
    EXPECT_EQ(decoded[0], expected);
    EXPECT_TRUE(decoded[1].isEmpty());

    // Old files store alpha as 0 or 1.
    const auto old = storage.importAttributedString(decodeOne(
        R"({"string": "x", "runs": [{"attributes": {"text_colour": {"RGB": [255, 0, 0, 0]}}, "range": [0, 1]}]})"));
    EXPECT_EQ(old[0].attributesAt(0).foregroundColour, (qrn::Colour{1, 0, 0, 0}));
}

TEST(ScriptAndSymbolTexts, MissingMembersTakeDefaultsByAppearance) {
    attributedStringStorageClass storage;
    const char* record =
        R"({"string": "abc", "runs": [{"range": [0, 3], "attributes": {"text_colour": {}, "background_colour": {},
            "paragraph_style": {}, "font": {}}}]})";
    setAppearance("Light");
    auto light = storage.importAttributedString(decodeOne(record))[0].attributesAt(1);
    EXPECT_EQ(light.foregroundColour, (qrn::Colour{1, 1, 1, 1}));
    EXPECT_EQ(light.backgroundColour, (qrn::Colour{1, 1, 1, 0}));
    ASSERT_TRUE(light.paragraphStyle);
    EXPECT_EQ(light.paragraphStyle->alignment, 2);
    EXPECT_EQ(light.paragraphStyle->lineSpacing, 0);
    ASSERT_TRUE(light.font);
    EXPECT_EQ(light.font->name, "Helvetica");
    EXPECT_EQ(light.font->size, 12);

    setAppearance("Dark");
    auto dark = storage.importAttributedString(decodeOne(record))[0].attributesAt(1);
    EXPECT_EQ(dark.foregroundColour, (qrn::Colour{0, 0, 0, 1}));
    EXPECT_EQ(dark.backgroundColour, (qrn::Colour{0, 0, 0, 0}));
}

TEST(ScriptAndSymbolTexts, FontNamesSurviveReadAndWriteWhetherInstalledOrNot) {
    attributedStringStorageClass storage;
    const auto file = qrn::Json::parse(R"([
        {"string": "abc", "runs": [{"range": [0, 3], "attributes": {"font": {"name": "Helvetica", "size": 30}}}]},
        {"string": "de", "runs": [{"range": [0, 1], "attributes": {"font": {"name": "Helvetica Neue Bold", "size": 12.5}}},
                                  {"range": [1, 2], "attributes": {"font": {"name": "No Such Font Anywhere", "size": 9},
                                                                   "underline_style": 1}}]},
        {"string": "f", "runs": [{"range": [0, 1], "attributes": {"font": {"name": "DejaVu Sans", "size": 11}}}]}
    ])");
    EXPECT_EQ(storage.saveAttributedString(storage.importAttributedString(file)), file);
}

TEST(ScriptAndSymbolTexts, AHelveticaRunIsDrawnWithNimbusSans) {
    attributedStringStorageClass storage;
    const auto stored = storage.importAttributedString(decodeOne(
        R"({"string": "Quick fox", "runs": [{"range": [0, 9], "attributes": {"font": {"name": "Helvetica", "size": 30}}}]})"))
                            [0];
    const auto drawn = [](const qrn::AttributedString& text) {
        auto window = qrn::ui::Window::make(qrn::Rect(0, 0, 200, 50));
        auto view = qrn::ui::TextView::make(qrn::Rect(0, 0, 200, 50));
        view->setAttributedString(text);
        window->contentView()->addSubview(view);
        window->displayIfNeeded();
        return window->snapshot(0);
    };
    const auto in = [](const char* family) {
        qrn::TextAttributes a;
        a.font = qrn::fontWithFamily(family, 30);
        EXPECT_TRUE(a.font) << family;
        return qrn::AttributedString("Quick fox", a);
    };
    const QImage helvetica = drawn(stored);
    EXPECT_TRUE(helvetica == drawn(in("Nimbus Sans")));
    EXPECT_FALSE(helvetica == drawn(in("DejaVu Sans")));
}

TEST(ScriptAndSymbolTexts, MalformedRecordsNeverCrash) {
    attributedStringStorageClass storage;
    const auto decoded = storage.importAttributedString(qrn::Json::parse(R"([
        {"string": "abcdef", "runs": [
            {"range": [4, 99], "attributes": {"underline_style": 1}},
            {"range": [3, 1], "attributes": {"underline_style": 2}},
            {"range": [-5, 1], "attributes": {"writing_direction": 1}},
            {"range": [2], "attributes": {"underline_style": 9}},
            {"range": [2, 3, "x"], "attributes": {"underline_style": 9}},
            {"range": [1, 2], "attributes": {"text_colour": {"RGB": [1, 2, 3]}, "font": "x", "paragraph_style": 3}}]},
        {"runs": []},
        {},
        42,
        {"string": "plain", "runs": "nope"},
        {"string": "mixed", "runs": [{"range": [0, 5], "attributes": {"underline_style": 1}}, "not a run"]}
    ])"));
    ASSERT_EQ(decoded.size(), 6u);
    const auto& text = decoded[0];
    EXPECT_EQ(text.string(), "abcdef");
    EXPECT_EQ(text.attributesAt(0).writingDirection, 1); // clamped to the start
    EXPECT_FALSE(text.attributesAt(2).underlineStyle);   // the reversed run is skipped
    EXPECT_EQ(text.attributesAt(5).underlineStyle, 1);   // clamped to the end
    EXPECT_TRUE(text.attributesAt(1).isEmpty());         // short colour, wrong member types
    EXPECT_TRUE(decoded[1].isEmpty());
    EXPECT_TRUE(decoded[2].isEmpty());
    EXPECT_TRUE(decoded[3].isEmpty());
    EXPECT_EQ(decoded[4], qrn::AttributedString("plain"));
    EXPECT_EQ(decoded[5], qrn::AttributedString("mixed"));
}

TEST(ScriptAndSymbolTexts, ScriptFileHoldsNotesThenScripts) {
    tempProject project;
    previewLayerClass().clearClass(false);
    attributedStringStorageClass storage;
    storage.setProjectNotes(qrn::AttributedString("my notes"));
    storage.setAutocueStringArray({qrn::AttributedString("one"), qrn::AttributedString("two")});
    auto file = qrn::json::readFile(project.file("autocueData.json"));
    ASSERT_TRUE(file);
    ASSERT_EQ(file->size(), 3u);
    EXPECT_EQ((*file)[0]["string"], "my notes");

    storage.setProjectNotes(qrn::AttributedString("changed"));
    storage.importAutocueText();
    EXPECT_EQ(storage.getProjectNotes(), qrn::AttributedString("my notes"));
    ASSERT_EQ(storage.getAutocueStringArray().size(), 2u);
    EXPECT_EQ(storage.getAutocueStringArray()[1].string(), "two");

    // Assets the file has no script for read an empty one.
    addAsset();
    addAsset();
    addAsset();
    storage.importAutocueText();
    ASSERT_EQ(storage.getAutocueStringArray().size(), 3u);
    EXPECT_EQ(storage.getAutocueStringArray()[0].string(), "one");
    EXPECT_TRUE(storage.getAutocueStringArray()[2].isEmpty());
}

TEST(ScriptAndSymbolTexts, DamagedScriptFilesGiveDefaultNotesAndOneScriptPerAsset) {
    tempProject project;
    previewLayerClass().clearClass(false);
    addAsset();
    addAsset();
    attributedStringStorageClass storage;
    for (const char* content : {"", "[]", "{\"a\": 1}", "[1, 2]", "not json"}) {
        storage.setProjectNotes(qrn::AttributedString("old"));
        if (*content)
            ASSERT_TRUE(qrn::files::replaceAtomically(project.file("autocueData.json"), content));
        else
            ASSERT_TRUE(qrn::files::remove(project.file("autocueData.json")));
        storage.importAutocueText();
        // A file without any entry starts the notes over; an unreadable one leaves them empty.
        EXPECT_EQ(storage.getProjectNotes().string(), std::string(content) == "[]" ? "PROJECT NOTES" : "")
            << content;
        EXPECT_EQ(storage.getAutocueStringArray().size(), 2u) << content;
    }
}

TEST(ScriptAndSymbolTexts, SymbolTextsAreWrittenOnceAfterABurst) {
    tempProject project;
    attributedStringStorageClass storage;
    int writes = 0;
    countWrites("specialSymbolData.json", writes);
    storage.setTextSymbolStringArray({{qrn::AttributedString("a")}}, 2);
    qrn::MainQueue::advance(0.3);
    storage.setTextSymbolStringArray({{qrn::AttributedString("ab")}}, 2);
    qrn::MainQueue::advance(0.45);
    EXPECT_EQ(writes, 0);
    qrn::MainQueue::advance(0.1);
    EXPECT_EQ(writes, 1);
    storage.setTextSymbolStringArray({{qrn::AttributedString("abc")}}, 0);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes, 1);
    storage.setTextSymbolStringArray({{qrn::AttributedString("abcd")}}, 2);
    storage.flushPendingSymbolExport();
    EXPECT_EQ(writes, 2);
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes, 2);
    storage.setTextSymbolStringArray({{qrn::AttributedString("x")}}, 1);
    EXPECT_EQ(writes, 3);
    qrn::files::setWriteFailureForTesting(nullptr);

    EXPECT_TRUE(storage.importSymbolText(2));
    const auto texts = storage.getTextSymbolStringArray();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], std::vector<qrn::AttributedString>{qrn::AttributedString("x")});
    EXPECT_TRUE(texts[2].empty());

    // Every asset's entry must be a list of text records; anything else counts as no file.
    for (const char* content : {"[[{\"string\": \"a\"}], [1]]", "[{\"string\": \"a\"}]", "{}", "nonsense"}) {
        ASSERT_TRUE(qrn::files::replaceAtomically(project.file("specialSymbolData.json"), content));
        EXPECT_FALSE(storage.importSymbolText(2)) << content;
        EXPECT_EQ(storage.getTextSymbolStringArray(), (std::vector<std::vector<qrn::AttributedString>>{{}}));
    }
    ASSERT_TRUE(qrn::files::remove(project.file("specialSymbolData.json")));
    EXPECT_FALSE(storage.importSymbolText(2));
    EXPECT_EQ(storage.getTextSymbolStringArray().size(), 1u);
    storage.clearClass();
    EXPECT_TRUE(storage.getTextSymbolStringArray().empty());
}

TEST(ScriptAndSymbolTexts, ShowingScriptsWritesThemAgainOnlyAfterAChangeOrAFailedWrite) {
    tempProject project;
    previewLayerClass().clearClass(false);
    attributedStringStorageClass storage;
    int writes = 0;
    countWrites("autocueData.json", writes);
    storage.setAutocueStringArray({qrn::AttributedString("one"), qrn::AttributedString("two")});
    EXPECT_EQ(writes, 1);
    storage.writeAutocueStrings(); // what showing a script does
    EXPECT_EQ(writes, 1);
    storage.setProjectNotes(qrn::AttributedString("notes"));
    storage.writeAutocueStrings();
    EXPECT_EQ(writes, 2);
    storage.setScriptAfterDelay(2, qrn::AttributedString("three"));
    qrn::MainQueue::advance(1);
    storage.writeAutocueStrings();
    EXPECT_EQ(writes, 3);
    EXPECT_EQ((*qrn::json::readFile(project.file("autocueData.json")))[2]["string"], "three");

    // A failed write of the package may have taken the scripts' last write with it.
    qrn::files::setWriteFailureForTesting([](qrn::files::WriteStep step, const qrn::files::Path&) {
        return step == qrn::files::WriteStep::Flush;
    });
    storage.setTextSymbolStringArray({{qrn::AttributedString("a")}}, 1);
    countWrites("autocueData.json", writes);
    storage.writeAutocueStrings();
    EXPECT_EQ(writes, 4);
    storage.importAutocueText(); // read back, the file holds what is shown: nothing to write
    storage.writeAutocueStrings();
    EXPECT_EQ(writes, 4);
    storage.setScriptAfterDelay(1, qrn::AttributedString("one again"));
    qrn::MainQueue::advance(1);
    EXPECT_EQ(writes, 5);
    qrn::files::setWriteFailureForTesting(nullptr);
}

TEST(ScriptAndSymbolTexts, NothingIsWrittenWithoutAProjectFolder) {
    persistentDataStorageClass().setProjectDirectory("");
    attributedStringStorageClass storage;
    storage.setAutocueStringArray({qrn::AttributedString("one")});
    storage.setTextSymbolStringArray({{qrn::AttributedString("a")}}, 1);
    EXPECT_FALSE(storage.exportSymbolText());
    EXPECT_FALSE(qrn::files::exists("/autocueData.json"));
    EXPECT_FALSE(qrn::files::exists("/specialSymbolData.json"));
    // Reading without a folder finds nothing and leaves defaults.
    EXPECT_FALSE(storage.importSymbolText(0));
}

TEST(ScriptAndSymbolTexts, AFailedWriteIsRetriedThenReportedAndKeepsTheOldFile) {
    tempProject project;
    attributedStringStorageClass storage;
    storage.setTextSymbolStringArray({{qrn::AttributedString("kept")}}, 1);
    const std::string before = *qrn::files::readText(project.file("specialSymbolData.json"));
    int attempts = 0;
    qrn::files::setWriteFailureForTesting([&](qrn::files::WriteStep step, const qrn::files::Path&) {
        if (step != qrn::files::WriteStep::Flush)
            return false;
        ++attempts;
        return true;
    });
    storage.setTextSymbolStringArray({{qrn::AttributedString("lost")}}, 0);
    EXPECT_FALSE(storage.exportSymbolText());
    qrn::files::setWriteFailureForTesting(nullptr);
    EXPECT_GT(attempts, 1);
    EXPECT_LT(attempts, 10);
    EXPECT_EQ(*qrn::files::readText(project.file("specialSymbolData.json")), before);
}
