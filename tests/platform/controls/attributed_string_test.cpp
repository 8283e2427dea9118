#include <QFontDatabase>
#include <QFontInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <set>

#include "platform/foundation/attributed_string.h"

using namespace qrn;

namespace {

TextAttributes coloured(Colour c) {
    TextAttributes a;
    a.foregroundColour = c;
    return a;
}

Font anyInstalledFont(double size) {
    auto families = installedFontFamilies();
    EXPECT_FALSE(families.empty());
    auto f = fontWithFamily(families.front(), size);
    EXPECT_TRUE(f.has_value());
    return *f;
}

} // namespace

TEST(AttributedString, RunsCountUtf16UnitsAndMergeNeighbours) {
    // "a😀b": the emoji is a surrogate pair, so the text is four units long.
    AttributedString s(QString::fromUtf8("a\xF0\x9F\x98\x80"
                                         "b"));
    EXPECT_EQ(s.length(), 4);
    ASSERT_EQ(s.runs().size(), 1u);
    EXPECT_EQ(s.runs()[0].range, (TextRange{0, 4}));

    const Colour red{1, 0, 0, 1};
    ASSERT_TRUE(s.addAttributes(coloured(red), {1, 2}));
    ASSERT_EQ(s.runs().size(), 3u);
    EXPECT_EQ(s.runs()[1].range, (TextRange{1, 2}));
    EXPECT_EQ(s.runs()[2].range, (TextRange{3, 1}));

    // Colouring the rest the same way leaves one maximal run.
    s.addAttributes(coloured(red), {0, 1});
    s.addAttributes(coloured(red), {3, 1});
    ASSERT_EQ(s.runs().size(), 1u);
    EXPECT_EQ(s.runs()[0].attributes.foregroundColour, red);

    EXPECT_TRUE(AttributedString().runs().empty());
}

TEST(AttributedString, AddingOverPartOfARunReplacesOnlyThatKey) {
    const Font font = anyInstalledFont(14);
    TextAttributes base;
    base.font = font;
    base.foregroundColour = Colour{0, 0, 1, 1};
    AttributedString s("abcdef", base);

    ASSERT_TRUE(s.addAttributes(coloured({1, 0, 0, 1}), {2, 2}));
    ASSERT_EQ(s.runs().size(), 3u);
    const auto& middle = s.runs()[1];
    EXPECT_EQ(middle.range, (TextRange{2, 2}));
    EXPECT_EQ(middle.attributes.font, font);
    EXPECT_EQ(middle.attributes.foregroundColour, (Colour{1, 0, 0, 1}));
    EXPECT_EQ(s.runs()[2].attributes, base);

    // Setting replaces everything, removing drops one key only.
    s.setAttributes({}, {0, 1});
    EXPECT_TRUE(s.attributesAt(0).isEmpty());
    s.removeAttribute(AttributeKey::font, {2, 4});
    EXPECT_FALSE(s.attributesAt(3).font.has_value());
    EXPECT_EQ(s.attributesAt(3).foregroundColour, (Colour{1, 0, 0, 1}));
    EXPECT_TRUE(s.attributesAt(1).font.has_value());

    // Ranges past the end are clipped; a range wholly outside changes nothing.
    EXPECT_FALSE(s.addAttributes(base, {6, 3}));
    EXPECT_TRUE(s.addAttributes(base, {5, 30}));
    EXPECT_EQ(s.runs().back().range.end(), 6);
}

TEST(AttributedString, NoFontDiffersFromAFont) {
    AttributedString plain("xy");
    AttributedString withFont("xy");
    TextAttributes a;
    a.font = anyInstalledFont(12);
    withFont.addAttributes(a, withFont.wholeRange());
    EXPECT_FALSE(plain == withFont);
    EXPECT_FALSE(plain.attributesAt(0).has(AttributeKey::font));
    EXPECT_TRUE(withFont.attributesAt(0).has(AttributeKey::font));
}

TEST(AttributedString, InsertedTextTakesThePrecedingAttributes) {
    AttributedString s("ad", coloured({0, 1, 0, 1}));
    s.replaceCharacters({1, 0}, QString("bc"));
    EXPECT_EQ(s.string(), "abcd");
    ASSERT_EQ(s.runs().size(), 1u);
    AttributedString tail("!", coloured({1, 0, 0, 1}));
    s.append(tail);
    ASSERT_EQ(s.runs().size(), 2u);
    EXPECT_EQ(s.substring({3, 2}).runs().size(), 2u);
    EXPECT_EQ(s.find("cd"), (TextRange{2, 2}));
    EXPECT_FALSE(s.find("zz").has_value());
}

TEST(FontLookup, FailsForFamiliesThatAreNotInstalled) {
    EXPECT_FALSE(fontNamed("No Such Family Anywhere", 12).has_value());
    const auto families = installedFontFamilies();
    ASSERT_FALSE(families.empty());
    auto f = fontNamed(families.front(), 18);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->family, families.front());
    EXPECT_EQ(f->size, 18);
    // Case does not matter; a bad size does.
    QString upper = QString::fromStdString(families.front()).toUpper();
    EXPECT_TRUE(fontNamed(upper.toStdString(), 10).has_value());
    EXPECT_FALSE(fontNamed(families.front(), 0).has_value());
}

TEST(FontLookup, AFamilyChosenAloneOpensUpright) {
    // URW Bookman has no face called regular; picked in the text tab it came out Demi Italic.
    for (const auto& family : installedFontFamilies()) {
        const QString name = QString::fromStdString(family);
        const QStringList styles = QFontDatabase::styles(name);
        const bool hasUpright = std::any_of(
            styles.begin(), styles.end(), [&](const QString& s) { return !QFontDatabase::italic(name, s); });
        const auto f = fontWithFamily(family, 20);
        ASSERT_TRUE(f) << family;
        if (hasUpright)
            EXPECT_FALSE(QFontDatabase::italic(name, QString::fromStdString(f->style)))
                << family << " " << f->style;
    }
    const auto bookman = fontNamed("URW Bookman", 20);
    ASSERT_TRUE(bookman);
    EXPECT_EQ(bookman->style, "Light");
    EXPECT_FALSE(bookman->toQFont().italic());
}

TEST(FontLookup, FindsAFaceByDisplayName) {
    for (const auto& family : installedFontFamilies()) {
        auto bold = fontNamed(family + " Bold", 11);
        if (!bold)
            continue;
        EXPECT_EQ(bold->name, family + " Bold");
        EXPECT_EQ(bold->style, "Bold");
        return;
    }
    GTEST_SKIP() << "no bold face installed";
}

namespace {
// The family a font is really drawn with, without the foundry Qt adds when two ship one family.
std::string drawnFamily(const QFont& font) {
    const QString family = QFontInfo(font).family();
    const qsizetype bracket = family.indexOf(" [");
    return (bracket > 0 ? family.left(bracket) : family).toStdString();
}
} // namespace

TEST(FontLookup, FamiliesAreListedOnceWithoutTheirFoundry) {
    std::set<std::string> seen;
    for (const auto& family : installedFontFamilies()) {
        EXPECT_EQ(family.find(" ["), std::string::npos) << family;
        EXPECT_TRUE(seen.insert(family).second) << family;
    }
    // Shipped by more than one foundry on Debian.
    auto nimbus = fontWithFamily("nimbus sans", 12);
    ASSERT_TRUE(nimbus);
    EXPECT_EQ(nimbus->family, "Nimbus Sans");
    EXPECT_EQ(fontNamed("Nimbus Sans Bold", 12)->style, "Bold");
}

TEST(FontLookup, StoredNamesAreKeptAndDrawnWithAnInstalledTwin) {
    const std::pair<const char*, const char*> cases[] = {{"Helvetica", "Nimbus Sans"},
                                                         {"Helvetica Neue", "Nimbus Sans"},
                                                         {"Arial", "Liberation Sans"},
                                                         {"No Such Family Anywhere", "DejaVu Sans"},
                                                         {"DejaVu Serif", "DejaVu Serif"}};
    for (const auto& [name, drawn] : cases) {
        auto f = fontAsStored(name, 14);
        ASSERT_TRUE(f) << name;
        EXPECT_EQ(f->name, name);
        EXPECT_EQ(f->family, name) << "a family named in full is not a face of a shorter one";
        EXPECT_EQ(drawnFamily(f->toQFont()), drawn) << name;
        EXPECT_EQ(f->toQFont().pointSizeF(), 14);
    }
    EXPECT_EQ(fontAsStored("Helvetica Neue", 14)->style, "");
    // A face of a missing family is drawn in the matching face of its twin.
    auto bold = fontAsStored("Helvetica Neue Bold", 12);
    ASSERT_TRUE(bold);
    EXPECT_EQ(bold->name, "Helvetica Neue Bold");
    EXPECT_EQ(bold->family, "Helvetica Neue");
    EXPECT_EQ(bold->style, "Bold");
    EXPECT_EQ(drawnFamily(bold->toQFont()), "Nimbus Sans");
    EXPECT_TRUE(QFontInfo(bold->toQFont()).bold());
    EXPECT_FALSE(QFontInfo(fontAsStored("Helvetica", 12)->toQFont()).bold());
    // Installed fonts come back as the lookup finds them; nameless or sizeless ones not at all.
    EXPECT_EQ(fontAsStored("DejaVu Sans Bold", 9), fontNamed("DejaVu Sans Bold", 9));
    EXPECT_FALSE(fontAsStored("", 12));
    EXPECT_FALSE(fontAsStored("Helvetica", 0));
    EXPECT_FALSE(fontAsStored("Helvetica", std::nan("")));
}

TEST(AttributedString, AStoredFontSurvivesATextDocumentAndIsDrawnWithItsTwin) {
    TextAttributes a;
    a.font = fontAsStored("Helvetica", 20);
    AttributedString s("Hello", a);
    QTextDocument doc;
    s.writeTo(doc);
    EXPECT_EQ(AttributedString::fromTextDocument(doc), s);
    QTextCursor cursor(&doc);
    cursor.setPosition(2);
    EXPECT_EQ(drawnFamily(cursor.charFormat().font()), "Nimbus Sans");
}

TEST(AttributedString, RoundTripsThroughATextDocument) {
    const Font font = anyInstalledFont(20);
    AttributedString s(QString::fromUtf8("Hello \xF0\x9F\x98\x80 world\nsecond line\n"));
    TextAttributes a;
    a.font = font;
    a.foregroundColour = Colour{0.2, 0.4, 0.6, 1};
    s.addAttributes(a, {0, 5});
    TextAttributes b;
    b.backgroundColour = Colour{1, 1, 0, 0.5};
    b.underlineStyle = underline::doubled;
    b.link = "https://example.org/";
    s.addAttributes(b, {3, 6});
    TextAttributes p;
    p.paragraphStyle = ParagraphStyle{int(TextAlignment::center), 4, -8, 1.5, 2, 6};
    p.writingDirection = writing_direction::rightToLeft;
    s.addAttributes(p, {15, 12});
    // The line break between the paragraphs starts a run of its own.
    s.addAttributes(coloured({0, 0, 0, 1}), {14, 1});

    QTextDocument doc;
    s.writeTo(doc);
    EXPECT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.begin().next().blockFormat().alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    AttributedString back = AttributedString::fromTextDocument(doc);
    EXPECT_EQ(back, s);
}

TEST(AttributedString, ReadsFormattingAnEditorAppliedItself) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    f.setForeground(QColor(255, 0, 0));
    c.insertText("plain ");
    c.insertText("red", f);
    AttributedString s = AttributedString::fromTextDocument(doc);
    ASSERT_EQ(s.runs().size(), 2u);
    EXPECT_TRUE(s.runs()[0].attributes.isEmpty());
    EXPECT_EQ(s.runs()[1].attributes.foregroundColour, (Colour{1, 0, 0, 1}));
    EXPECT_FALSE(s.runs()[1].attributes.font.has_value());
}
