#pragma once
// Styled text: a UTF-16 string with runs of attributes. Ranges count UTF-16 code units, as the
// project files store them (a character outside the basic plane counts two).
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/colour.h"
#include "platform/foundation/font.h"

class QTextDocument;

namespace qrn {

struct TextRange {
    int location = 0;
    int length = 0;
    int end() const { return location + length; }
    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// Alignment codes as stored in project files.
enum class TextAlignment : int { left = 0, right = 1, center = 2, justified = 3, natural = 4 };

struct ParagraphStyle {
    int alignment = static_cast<int>(TextAlignment::natural);
    double headIndent = 0;
    double tailIndent = 0;
    double lineHeightMultiple = 0;
    double lineSpacing = 0;
    double paragraphSpacing = 0;
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// Underline codes as stored in project files.
namespace underline {
constexpr int none = 0, single = 1, thick = 2, doubled = 9;
}
// Writing direction values: natural, left to right, right to left.
namespace writing_direction {
constexpr int natural = -1, leftToRight = 0, rightToLeft = 1;
}

enum class AttributeKey {
    font,
    foregroundColour,
    backgroundColour,
    paragraphStyle,
    underlineStyle,
    writingDirection,
    link
};

// One run's attributes; an absent member means the run does not carry that attribute (so a run
// without a font differs from a run in any font).
struct TextAttributes {
    std::optional<Font> font;
    std::optional<Colour> foregroundColour;
    std::optional<Colour> backgroundColour;
    std::optional<ParagraphStyle> paragraphStyle;
    std::optional<int> underlineStyle;
    std::optional<int> writingDirection;
    // A link's address; an empty text is a link attribute without an address.
    std::optional<std::string> link;
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;

    bool isEmpty() const { return *this == TextAttributes{}; }
    bool has(AttributeKey key) const;
    void remove(AttributeKey key);
    // Takes over every attribute that `other` carries, keeping the rest.
    void merge(const TextAttributes& other);
};

class AttributedString {
  public:
    struct Run {
        TextRange range;
        TextAttributes attributes;
        friend bool operator==(const Run&, const Run&) = default;
    };

    AttributedString() = default;
    explicit AttributedString(const QString& text, const TextAttributes& attributes = {});
    explicit AttributedString(const std::string& utf8, const TextAttributes& attributes = {});
    explicit AttributedString(const char* utf8, const TextAttributes& attributes = {})
        : AttributedString(std::string(utf8), attributes) {}

    const QString& text() const { return text_; }
    std::string string() const { return text_.toStdString(); }
    int length() const { return static_cast<int>(text_.size()); }
    bool isEmpty() const { return text_.isEmpty(); }

    // Maximal runs of identical attributes covering the text, in order ([] for an empty text).
    const std::vector<Run>& runs() const { return runs_; }
    // Visits the maximal runs intersecting `range`, clipped to it.
    void enumerateRuns(TextRange range, const std::function<void(const Run&)>& fn) const;
    // The attributes at `index`; `effective` receives the whole run holding it.
    TextAttributes attributesAt(int index, TextRange* effective = nullptr) const;

    // Range operations clip the range to the text; they return false when nothing was left.
    // Replaces every attribute over the range.
    bool setAttributes(const TextAttributes& attributes, TextRange range);
    // Sets the attributes that `attributes` carries over the range, keeping the others.
    bool addAttributes(const TextAttributes& attributes, TextRange range);
    bool removeAttribute(AttributeKey key, TextRange range);
    // Changes each run's attributes, in text order, then merges the runs that became alike: one
    // pass however many runs (range operations run by run cost a pass each).
    void updateEachRun(const std::function<void(TextAttributes&)>& fn);
    TextRange wholeRange() const { return {0, length()}; }

    // Replaces the characters of `range` with `replacement`; inserted plain text takes the
    // attributes of the character before it (or after it, at the start).
    void replaceCharacters(TextRange range, const AttributedString& replacement);
    void replaceCharacters(TextRange range, const QString& replacement);
    void append(const AttributedString& other) { replaceCharacters({length(), 0}, other); }
    AttributedString substring(TextRange range) const;

    // The first occurrence of `needle`, or none (an empty needle is not found).
    std::optional<TextRange> find(const QString& needle) const;

    friend bool operator==(const AttributedString&, const AttributedString&) = default;

    // A rich-text document with the same text and attributes. Attributes that the document has
    // no place for travel as format properties so the reverse conversion gives them back.
    void writeTo(QTextDocument& document) const;
    static AttributedString fromTextDocument(const QTextDocument& document);

  private:
    void normalise();
    // Splits runs so that a run starts at `index`; returns that run's position.
    size_t splitAt(int index);
    template <typename Fn> bool modify(TextRange range, Fn fn);

    QString text_;
    std::vector<Run> runs_;
};

// A readable dump for test failures.
void PrintTo(const AttributedString& s, std::ostream* os);

} // namespace qrn
