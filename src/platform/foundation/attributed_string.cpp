#include "platform/foundation/attributed_string.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <ostream>

namespace qrn {

bool TextAttributes::has(AttributeKey key) const {
    switch (key) {
    case AttributeKey::font:
        return font.has_value();
    case AttributeKey::foregroundColour:
        return foregroundColour.has_value();
    case AttributeKey::backgroundColour:
        return backgroundColour.has_value();
    case AttributeKey::paragraphStyle:
        return paragraphStyle.has_value();
    case AttributeKey::underlineStyle:
        return underlineStyle.has_value();
    case AttributeKey::writingDirection:
        return writingDirection.has_value();
    case AttributeKey::link:
        return link.has_value();
    }
    return false;
}

void TextAttributes::remove(AttributeKey key) {
    switch (key) {
    case AttributeKey::font:
        font.reset();
        break;
    case AttributeKey::foregroundColour:
        foregroundColour.reset();
        break;
    case AttributeKey::backgroundColour:
        backgroundColour.reset();
        break;
    case AttributeKey::paragraphStyle:
        paragraphStyle.reset();
        break;
    case AttributeKey::underlineStyle:
        underlineStyle.reset();
        break;
    case AttributeKey::writingDirection:
        writingDirection.reset();
        break;
    case AttributeKey::link:
        link.reset();
        break;
    }
}

void TextAttributes::merge(const TextAttributes& o) {
    if (o.font)
        font = o.font;
    if (o.foregroundColour)
        foregroundColour = o.foregroundColour;
    if (o.backgroundColour)
        backgroundColour = o.backgroundColour;
    if (o.paragraphStyle)
        paragraphStyle = o.paragraphStyle;
    if (o.underlineStyle)
        underlineStyle = o.underlineStyle;
    if (o.writingDirection)
        writingDirection = o.writingDirection;
    if (o.link)
        link = o.link;
}

AttributedString::AttributedString(const QString& text, const TextAttributes& attributes) : text_(text) {
    if (!text_.isEmpty())
        runs_.push_back({{0, length()}, attributes});
}

AttributedString::AttributedString(const std::string& utf8, const TextAttributes& attributes)
    : AttributedString(QString::fromStdString(utf8), attributes) {}

void AttributedString::normalise() {
    std::vector<Run> out;
    for (Run& r : runs_) {
        if (r.range.length <= 0)
            continue;
        if (!out.empty() && out.back().attributes == r.attributes)
            out.back().range.length += r.range.length;
        else
            out.push_back(std::move(r));
    }
    runs_ = std::move(out);
}

size_t AttributedString::splitAt(int index) {
    for (size_t i = 0; i < runs_.size(); ++i) {
        Run& r = runs_[i];
        if (r.range.location == index)
            return i;
        if (index > r.range.location && index < r.range.end()) {
            Run tail{{index, r.range.end() - index}, r.attributes};
            r.range.length = index - r.range.location;
            runs_.insert(runs_.begin() + static_cast<long>(i) + 1, tail);
            return i + 1;
        }
    }
    return runs_.size();
}

template <typename Fn> bool AttributedString::modify(TextRange range, Fn fn) {
    int start = std::clamp(range.location, 0, length());
    int end = std::clamp(range.end(), start, length());
    if (range.length < 0 || start == end)
        return false;
    size_t first = splitAt(start);
    size_t last = splitAt(end);
    for (size_t i = first; i < last; ++i)
        fn(runs_[i].attributes);
    normalise();
    return true;
}

bool AttributedString::setAttributes(const TextAttributes& a, TextRange range) {
    return modify(range, [&](TextAttributes& t) { t = a; });
}

bool AttributedString::addAttributes(const TextAttributes& a, TextRange range) {
    return modify(range, [&](TextAttributes& t) { t.merge(a); });
}

bool AttributedString::removeAttribute(AttributeKey key, TextRange range) {
    return modify(range, [&](TextAttributes& t) { t.remove(key); });
}

void AttributedString::updateEachRun(const std::function<void(TextAttributes&)>& fn) {
    for (Run& r : runs_)
        fn(r.attributes);
    normalise();
}

void AttributedString::enumerateRuns(TextRange range, const std::function<void(const Run&)>& fn) const {
    int start = std::max(range.location, 0), end = std::min(range.end(), length());
    for (const Run& r : runs_) {
        int s = std::max(start, r.range.location), e = std::min(end, r.range.end());
        if (s < e)
            fn(Run{{s, e - s}, r.attributes});
    }
}

TextAttributes AttributedString::attributesAt(int index, TextRange* effective) const {
    for (const Run& r : runs_)
        if (index >= r.range.location && index < r.range.end()) {
            if (effective)
                *effective = r.range;
            return r.attributes;
        }
    if (effective)
        *effective = {index, 0};
    return {};
}

void AttributedString::replaceCharacters(TextRange range, const AttributedString& replacement) {
    int start = std::clamp(range.location, 0, length());
    int end = std::clamp(range.end(), start, length());
    size_t first = splitAt(start);
    size_t last = splitAt(end);
    runs_.erase(runs_.begin() + static_cast<long>(first), runs_.begin() + static_cast<long>(last));
    const int delta = replacement.length() - (end - start);
    for (size_t i = first; i < runs_.size(); ++i)
        runs_[i].range.location += delta;
    std::vector<Run> inserted = replacement.runs_;
    for (Run& r : inserted)
        r.range.location += start;
    runs_.insert(runs_.begin() + static_cast<long>(first), inserted.begin(), inserted.end());
    text_.replace(start, end - start, replacement.text_);
    normalise();
}

void AttributedString::replaceCharacters(TextRange range, const QString& replacement) {
    int start = std::clamp(range.location, 0, length());
    TextAttributes inherited;
    if (start > 0)
        inherited = attributesAt(start - 1);
    else if (length() > 0)
        inherited = attributesAt(std::clamp(range.end(), 0, length() - 1));
    replaceCharacters(range, AttributedString(replacement, inherited));
}

AttributedString AttributedString::substring(TextRange range) const {
    int start = std::clamp(range.location, 0, length());
    int end = std::clamp(range.end(), start, length());
    AttributedString out;
    out.text_ = text_.mid(start, end - start);
    enumerateRuns({start, end - start}, [&](const Run& r) {
        out.runs_.push_back({{r.range.location - start, r.range.length}, r.attributes});
    });
    out.normalise();
    return out;
}

std::optional<TextRange> AttributedString::find(const QString& needle) const {
    if (needle.isEmpty())
        return std::nullopt;
    auto at = text_.indexOf(needle);
    if (at < 0)
        return std::nullopt;
    return TextRange{static_cast<int>(at), static_cast<int>(needle.size())};
}

// ---- Conversion to and from QTextDocument ----

namespace {

// Our attributes ride along as user properties; the visible formatting is set as well.
enum Property {
    HasFont = QTextFormat::UserProperty + 1,
    FontName,
    Underline,
    WritingDirection,
    HasParagraph,
    ParagraphAlignment,
    ParagraphHead,
    ParagraphTail,
    ParagraphMultiple,
    ParagraphSpacingLine,
    ParagraphSpacingAfter,
    Link,
    Separator,
    ForegroundExact,
    BackgroundExact,
    FontFamily,
    FontStyle,
};

// Brushes keep 16 bits a channel; the exact components ride along and are used while the
// brush still shows that colour (an editor may have recoloured the text since).
void setColour(QTextCharFormat& f, int property, const Colour& c) {
    f.setProperty(property, QVariantList{c.red, c.green, c.blue, c.alpha});
}

Colour colourOf(const QTextCharFormat& f, int property, const QColor& shown) {
    const QVariantList l = f.property(property).toList();
    if (l.size() == 4) {
        Colour c{l[0].toDouble(), l[1].toDouble(), l[2].toDouble(), l[3].toDouble()};
        if (c.toQColor() == shown)
            return c;
    }
    return Colour::fromQColor(shown);
}

bool isSeparator(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator;
}

Qt::Alignment qtAlignment(int code) {
    switch (static_cast<TextAlignment>(code)) {
    case TextAlignment::left:
        return Qt::AlignLeft | Qt::AlignAbsolute;
    case TextAlignment::right:
        return Qt::AlignRight | Qt::AlignAbsolute;
    case TextAlignment::center:
        return Qt::AlignHCenter;
    case TextAlignment::justified:
        return Qt::AlignJustify;
    default:
        return Qt::AlignLeading;
    }
}

int alignmentCode(Qt::Alignment a) {
    if (a & Qt::AlignHCenter)
        return int(TextAlignment::center);
    if (a & Qt::AlignJustify)
        return int(TextAlignment::justified);
    if ((a & Qt::AlignRight) && (a & Qt::AlignAbsolute))
        return int(TextAlignment::right);
    if ((a & Qt::AlignLeft) && (a & Qt::AlignAbsolute))
        return int(TextAlignment::left);
    return int(TextAlignment::natural);
}

QTextCharFormat charFormat(const TextAttributes& a) {
    QTextCharFormat f;
    if (a.font) {
        f.setProperty(HasFont, true);
        f.setProperty(FontName, QString::fromStdString(a.font->name));
        f.setProperty(FontFamily, QString::fromStdString(a.font->family));
        f.setProperty(FontStyle, QString::fromStdString(a.font->style));
        // Shown in the font that draws it, which differs for a family that is not installed.
        const QFont drawn = a.font->toQFont();
        f.setFontFamilies(QStringList{drawn.family()});
        if (!drawn.styleName().isEmpty()) {
            f.setFontStyleName(drawn.styleName());
        } else {
            f.setFontWeight(drawn.weight());
            f.setFontItalic(drawn.italic());
        }
        f.setFontPointSize(a.font->size);
    }
    if (a.foregroundColour) {
        f.setForeground(a.foregroundColour->toQColor());
        setColour(f, ForegroundExact, *a.foregroundColour);
    }
    if (a.backgroundColour) {
        f.setBackground(a.backgroundColour->toQColor());
        setColour(f, BackgroundExact, *a.backgroundColour);
    }
    if (a.underlineStyle) {
        f.setProperty(Underline, *a.underlineStyle);
        f.setFontUnderline(*a.underlineStyle != underline::none);
    }
    if (a.writingDirection)
        f.setProperty(WritingDirection, *a.writingDirection);
    if (a.paragraphStyle) {
        const ParagraphStyle& p = *a.paragraphStyle;
        f.setProperty(HasParagraph, true);
        f.setProperty(ParagraphAlignment, p.alignment);
        f.setProperty(ParagraphHead, p.headIndent);
        f.setProperty(ParagraphTail, p.tailIndent);
        f.setProperty(ParagraphMultiple, p.lineHeightMultiple);
        f.setProperty(ParagraphSpacingLine, p.lineSpacing);
        f.setProperty(ParagraphSpacingAfter, p.paragraphSpacing);
    }
    if (a.link) {
        f.setProperty(Link, QString::fromStdString(*a.link));
        f.setAnchor(true);
        f.setAnchorHref(QString::fromStdString(*a.link));
    }
    return f;
}

QTextBlockFormat blockFormat(const TextAttributes& a) {
    QTextBlockFormat b;
    // Marks a paragraph format that mirrors character attributes, so that it is not read back
    // as a paragraph style of characters that had none.
    b.setProperty(HasParagraph, true);
    if (a.paragraphStyle) {
        const ParagraphStyle& p = *a.paragraphStyle;
        b.setAlignment(qtAlignment(p.alignment));
        b.setLeftMargin(p.headIndent);
        // A tail indent of zero or less is measured from the trailing margin.
        b.setRightMargin(p.tailIndent < 0 ? -p.tailIndent : 0);
        b.setBottomMargin(p.paragraphSpacing);
        if (p.lineHeightMultiple > 0)
            b.setLineHeight(p.lineHeightMultiple * 100, QTextBlockFormat::ProportionalHeight);
        else if (p.lineSpacing > 0)
            b.setLineHeight(p.lineSpacing, QTextBlockFormat::LineDistanceHeight);
    }
    if (a.writingDirection && *a.writingDirection != writing_direction::natural)
        b.setLayoutDirection(*a.writingDirection == writing_direction::rightToLeft ? Qt::RightToLeft
                                                                                   : Qt::LeftToRight);
    return b;
}

TextAttributes attributesOf(const QTextCharFormat& f, const QTextBlockFormat& block, const QFont& base) {
    TextAttributes a;
    if (f.hasProperty(HasFont)) {
        Font font;
        font.name = f.stringProperty(FontName).toStdString();
        font.family = f.stringProperty(FontFamily).toStdString();
        font.style = f.stringProperty(FontStyle).toStdString();
        font.size = f.fontPointSize() > 0 ? f.fontPointSize() : 12;
        // The font we wrote stays while the text is still shown in the family that draws it.
        const QStringList families = f.fontFamilies().toStringList();
        const std::string shown = families.isEmpty() ? std::string() : families.first().toStdString();
        if (shown != drawingFamily(font.family))
            font = fontFromQFont(f.font().resolve(base));
        a.font = font;
    } else if (f.hasProperty(QTextFormat::FontFamilies) || f.hasProperty(QTextFormat::FontPointSize) ||
               f.hasProperty(QTextFormat::FontWeight) || f.hasProperty(QTextFormat::FontItalic)) {
        // Formatting that an editor applied itself.
        a.font = fontFromQFont(f.font().resolve(base));
    }
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
        a.foregroundColour = colourOf(f, ForegroundExact, f.foreground().color());
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush)
        a.backgroundColour = colourOf(f, BackgroundExact, f.background().color());
    if (f.hasProperty(Underline))
        a.underlineStyle = f.intProperty(Underline);
    else if (f.hasProperty(QTextFormat::TextUnderlineStyle) && f.fontUnderline())
        a.underlineStyle = underline::single;
    if (f.hasProperty(WritingDirection))
        a.writingDirection = f.intProperty(WritingDirection);
    if (f.hasProperty(HasParagraph)) {
        ParagraphStyle p;
        p.alignment = f.intProperty(ParagraphAlignment);
        p.headIndent = f.doubleProperty(ParagraphHead);
        p.tailIndent = f.doubleProperty(ParagraphTail);
        p.lineHeightMultiple = f.doubleProperty(ParagraphMultiple);
        p.lineSpacing = f.doubleProperty(ParagraphSpacingLine);
        p.paragraphSpacing = f.doubleProperty(ParagraphSpacingAfter);
        a.paragraphStyle = p;
    } else if (block.hasProperty(HasParagraph)) {
    } else if (block.hasProperty(QTextFormat::BlockAlignment) ||
               block.hasProperty(QTextFormat::BlockLeftMargin) ||
               block.hasProperty(QTextFormat::BlockRightMargin) ||
               block.hasProperty(QTextFormat::LineHeight) ||
               block.hasProperty(QTextFormat::BlockBottomMargin)) {
        ParagraphStyle p;
        p.alignment = alignmentCode(block.alignment());
        p.headIndent = block.leftMargin();
        p.tailIndent = block.rightMargin() > 0 ? -block.rightMargin() : 0;
        p.paragraphSpacing = block.bottomMargin();
        if (block.lineHeightType() == QTextBlockFormat::ProportionalHeight)
            p.lineHeightMultiple = block.lineHeight() / 100.0;
        else if (block.lineHeightType() == QTextBlockFormat::LineDistanceHeight)
            p.lineSpacing = block.lineHeight();
        a.paragraphStyle = p;
    }
    if (f.hasProperty(Link))
        a.link = f.stringProperty(Link).toStdString();
    else if (f.isAnchor() && !f.anchorHref().isEmpty())
        a.link = f.anchorHref().toStdString();
    return a;
}

} // namespace

void AttributedString::writeTo(QTextDocument& document) const {
    document.clear();
    QTextCursor cursor(&document);
    const TextAttributes first = attributesAt(0);
    cursor.setBlockFormat(blockFormat(first));
    cursor.setBlockCharFormat(charFormat(first));
    for (size_t r = 0; r < runs_.size(); ++r) {
        const Run& run = runs_[r];
        const QTextCharFormat format = charFormat(run.attributes);
        int pieceStart = run.range.location;
        for (int i = run.range.location; i <= run.range.end(); ++i) {
            const bool atEnd = i == run.range.end();
            if (!atEnd && !isSeparator(text_[i]))
                continue;
            if (i > pieceStart)
                cursor.insertText(text_.mid(pieceStart, i - pieceStart), format);
            if (!atEnd) {
                // The separator itself keeps its character and attributes; the paragraph that
                // follows takes its style from its own first character.
                QTextCharFormat sep = format;
                sep.setProperty(Separator, QString(text_[i]));
                // The runs lie end to end: the next character is in this run or the next one.
                const TextAttributes& next = i + 1 < run.range.end() || r + 1 == runs_.size()
                                                 ? run.attributes
                                                 : runs_[r + 1].attributes;
                cursor.insertBlock(blockFormat(next), sep);
            }
            pieceStart = i + 1;
        }
    }
}

AttributedString AttributedString::fromTextDocument(const QTextDocument& document) {
    AttributedString out;
    const QFont base = document.defaultFont();
    // Built in one pass: appending piece by piece merged every run again each time, which made
    // each keystroke in a long script slower by the paragraph.
    const auto add = [&out](const QString& text, TextAttributes attributes) {
        if (text.isEmpty())
            return;
        const int start = out.length();
        out.text_ += text;
        if (!out.runs_.empty() && out.runs_.back().attributes == attributes)
            out.runs_.back().range.length += static_cast<int>(text.size());
        else
            out.runs_.push_back({{start, static_cast<int>(text.size())}, std::move(attributes)});
    };
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) {
            // The separator before this block carries the block's character format.
            const QTextCharFormat sep = block.charFormat();
            QString c = sep.hasProperty(Separator) ? sep.stringProperty(Separator) : QString("\n");
            if (c.size() != 1)
                c = "\n";
            add(c, attributesOf(sep, block.previous().blockFormat(), base));
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            // Line separators inside a paragraph come back as plain line feeds would confuse
            // ranges; keep them as they are (one unit each).
            add(fragment.text(), attributesOf(fragment.charFormat(), block.blockFormat(), base));
        }
    }
    return out;
}

void PrintTo(const AttributedString& s, std::ostream* os) {
    *os << '"' << s.string() << "\" runs:";
    for (const auto& r : s.runs()) {
        *os << " [" << r.range.location << "," << r.range.end() << ")";
        const auto& a = r.attributes;
        if (a.font)
            *os << " font=" << a.font->name << "@" << a.font->size;
        if (a.foregroundColour)
            *os << " fg=" << a.foregroundColour->red << "," << a.foregroundColour->green << ","
                << a.foregroundColour->blue << "," << a.foregroundColour->alpha;
        if (a.backgroundColour)
            *os << " bg";
        if (a.paragraphStyle)
            *os << " para(align " << a.paragraphStyle->alignment << ")";
        if (a.underlineStyle)
            *os << " underline=" << *a.underlineStyle;
        if (a.writingDirection)
            *os << " dir=" << *a.writingDirection;
        if (a.link)
            *os << " link=" << *a.link;
    }
}

} // namespace qrn
