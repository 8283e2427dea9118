#include "platform/foundation/json.h"
#include "platform/foundation/json_text.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/foundation/files.h"

namespace qrn::json {

namespace {

// What one pass over the text tells before it is parsed: whether its arrays and objects nest
// deeper than the limit, and how many members its objects have (one ':' outside strings each).
struct textShape {
    bool tooDeep = false;
    size_t members = 0;
};

textShape shapeOf(const std::string& text) {
    textShape shape;
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == ':') {
            ++shape.members;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) {
                shape.tooDeep = true;
                return shape;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return shape;
}

// The members the parsed objects kept: fewer than the text holds when an object repeats a key,
// the later value having replaced the earlier.
size_t membersKept(const Json& value) {
    size_t count = 0;
    if (value.is_object()) {
        count += value.size();
        for (const auto& member : value)
            if (member.is_structured())
                count += membersKept(member);
    } else if (value.is_array()) {
        for (const auto& element : value)
            if (element.is_structured())
                count += membersKept(element);
    }
    return count;
}

// The first key that an object of the text holds twice; only looked for once a key is known to be.
std::string firstRepeatedKey(const std::string& text) {
    std::vector<std::set<std::string>> open;
    std::optional<std::string> found;
    (void)Json::parse(
        text,
        [&](int, Json::parse_event_t event, Json& parsed) {
            if (event == Json::parse_event_t::object_start)
                open.emplace_back();
            else if (event == Json::parse_event_t::object_end && !open.empty())
                open.pop_back();
            else if (event == Json::parse_event_t::key && !open.empty() && !found &&
                     !open.back().insert(parsed.get<std::string>()).second)
                found = parsed.get<std::string>();
            return true;
        },
        false);
    // An empty key repeated is named as it is written.
    return !found || found->empty() ? "\"\"" : *found;
}

} // namespace

Result<Json> parse(const std::string& text, std::string* repeatedKey) {
    const textShape shape = shapeOf(text);
    if (shape.tooDeep)
        return Status::failure("Not valid JSON: nested deeper than " + std::to_string(maxDepth) + " levels");
    try {
        Json parsed = Json::parse(text);
        if (repeatedKey) {
            repeatedKey->clear();
            if (membersKept(parsed) != shape.members)
                *repeatedKey = firstRepeatedKey(text);
        }
        return parsed;
    } catch (const Json::exception& e) {
        // Not only syntax: a number too large for a double is an out-of-range error.
        return Status::failure(std::string("Not valid JSON: ") + e.what());
    }
}

Result<Json> readFile(const std::filesystem::path& path, files::Links links, std::string* repeatedKey) {
    auto text = files::readText(path, maxFileBytes, links);
    if (!text)
        return text.status();
    return parse(*text, repeatedKey);
}

namespace {

std::string pointerToken(const std::string& key) {
    std::string out;
    for (char c : key)
        out += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
    return out;
}

// Whether a number below `value` is not finite; the tokens of its JSON pointer are then appended
// to `path`, innermost first. A large project is checked before every write, so the pointer is
// only spelled out once such a number is found.
bool holdsNonFinite(const Json& value, std::vector<std::string>& path) {
    if (value.is_number_float())
        return !std::isfinite(value.get<double>());
    if (value.is_array()) {
        for (size_t i = 0; i < value.size(); ++i)
            if (holdsNonFinite(value[i], path)) {
                path.push_back(std::to_string(i));
                return true;
            }
    } else if (value.is_object()) {
        for (const auto& [key, member] : value.items())
            if (holdsNonFinite(member, path)) {
                path.push_back(pointerToken(key));
                return true;
            }
    }
    return false;
}

// The JSON pointer of the first number that is not finite, if any.
std::optional<std::string> firstNonFinite(const Json& value, const std::string& where) {
    std::vector<std::string> path;
    if (!holdsNonFinite(value, path))
        return std::nullopt;
    std::string pointer = where;
    for (auto token = path.rbegin(); token != path.rend(); ++token)
        pointer += "/" + *token;
    return pointer;
}

} // namespace

Result<std::string> write(const Json& value, int indent) {
    if (auto where = firstNonFinite(value, ""))
        return Result<std::string>::failure("Not a finite number at " + (where->empty() ? "/" : *where));
    // Invalid UTF-8 is replaced rather than aborting the write.
    std::string text = value.dump(indent, ' ', false, Json::error_handler_t::replace);
    text += '\n';
    return text;
}

namespace {

// A container whose parts are made one at a time: part(i) gives the container holding only part
// i, and its text without the brackets and the line breaks next to them is the part as the whole
// container's text holds it. Each part's text goes to `take`; false when a number is not finite
// (`failure` then says where).
bool eachPartText(size_t count, const std::function<Json(size_t)>& part, int indent,
                  const std::function<void(std::string_view)>& take, std::string& failure) {
    const size_t inner = indent >= 0 ? 2 : 1;
    for (size_t i = 0; i < count; ++i) {
        Json one = part(i);
        // An element is found at index 0 of its one-element array: the message names its place.
        if (auto where = firstNonFinite(one.is_array() ? one[0] : one,
                                        one.is_array() ? "/" + std::to_string(i) : "")) {
            failure = "Not a finite number at " + *where;
            return false;
        }
        const std::string text = one.dump(indent, ' ', false, Json::error_handler_t::replace);
        one = Json();
        take(text.size() > 2 * inner ? std::string_view(text).substr(inner, text.size() - 2 * inner)
                                     : std::string_view());
    }
    return true;
}

// The whole text of such a container. The parts are kept at their exact size, so that the whole
// text is made once, at its final length.
Result<std::string> writeParts(size_t count, const std::function<Json(size_t)>& part, int indent, char open,
                               char close) {
    const bool pretty = indent >= 0;
    const size_t inner = pretty ? 2 : 1;
    std::vector<std::string> pieces;
    pieces.reserve(count);
    size_t length = 0;
    std::string failure;
    if (!eachPartText(
            count, part, indent,
            [&](std::string_view piece) {
                pieces.emplace_back(piece);
                length += piece.size();
            },
            failure))
        return Result<std::string>::failure(failure);
    const std::string separator = pretty ? ",\n" : ",";
    std::string out;
    out.reserve(length + separator.size() * count + 2 * inner + 1);
    out += open;
    if (pretty)
        out += '\n';
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += separator;
        out += pieces[i];
        std::string().swap(pieces[i]);
    }
    if (pretty)
        out += '\n';
    out += close;
    out += '\n';
    return out;
}

// Members in the order write() gives them, each key once.
MemberMakers sortedMembers(MemberMakers members) {
    std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    members.erase(std::unique(members.begin(), members.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  members.end());
    return members;
}

Json memberPart(MemberMakers& members, size_t i) {
    Json one = Json::object();
    one[members[i].first] = members[i].second();
    members[i].second = nullptr;
    return one;
}

} // namespace

Result<std::string> writeObject(MemberMakers members, int indent) {
    members = sortedMembers(std::move(members));
    if (members.empty())
        return write(Json::object(), indent);
    return writeParts(
        members.size(), [&](size_t i) { return memberPart(members, i); }, indent, '{', '}');
}

bool writesText(MemberMakers members, std::string_view text, int indent) {
    members = sortedMembers(std::move(members));
    if (members.empty() || indent < 0)
        return false;
    // Followed through the text as the parts come: "{\n", the parts with ",\n" between, "\n}\n".
    size_t at = 0;
    bool same = true;
    const auto expect = [&](std::string_view piece) {
        same = same && text.substr(at, piece.size()) == piece;
        at += piece.size();
    };
    expect("{\n");
    size_t made = 0;
    std::string failure;
    const bool written = eachPartText(
        members.size(),
        [&](size_t i) {
            // After a difference the rest is not made.
            return same ? memberPart(members, i) : Json::object();
        },
        indent,
        [&](std::string_view piece) {
            expect(piece);
            if (++made < members.size())
                expect(",\n");
        },
        failure);
    expect("\n}\n");
    return written && same && at == text.size();
}

Result<std::string> writeArray(size_t count, const std::function<Json(size_t)>& element, int indent) {
    if (count == 0)
        return write(Json::array(), indent);
    return writeParts(
        count, [&](size_t i) { return Json::array({element(i)}); }, indent, '[', ']');
}

Status writeFile(const std::filesystem::path& path, const Json& value) {
    auto text = write(value);
    if (!text)
        return text.status();
    return files::replaceAtomically(path, *text);
}

std::optional<double> asReal(const Json& v) {
    if (v.is_number())
        return v.get<double>();
    return std::nullopt;
}

std::optional<std::int64_t> asInteger(const Json& v) {
    // An unsigned number above the signed range would wrap.
    if (v.is_number_unsigned() && v.get<std::uint64_t>() > std::uint64_t(INT64_MAX))
        return std::nullopt;
    if (v.is_number_integer())
        return v.get<std::int64_t>();
    return std::nullopt;
}

std::optional<std::string> asString(const Json& v) {
    if (v.is_string())
        return v.get<std::string>();
    return std::nullopt;
}

std::optional<bool> asBool(const Json& v) {
    if (v.is_boolean())
        return v.get<bool>();
    return std::nullopt;
}

Json fromValue(const Value& v) {
    switch (v.type()) {
    case Value::Type::Empty:
    case Value::Type::Image:
        return nullptr;
    case Value::Type::Bool:
        return v.toBool();
    case Value::Type::Integer:
        return v.toInt();
    case Value::Type::Real:
        return v.toReal();
    case Value::Type::String:
        return v.toString();
    case Value::Type::Colour:
        return Json(v.toColour());
    case Value::Type::List: {
        Json arr = Json::array();
        for (const auto& item : v.toList())
            arr.push_back(fromValue(item));
        return arr;
    }
    case Value::Type::Object: {
        // Made from a parsed object, so it parses again.
        auto parsed = Json::parse(v.toObjectJson(), nullptr, false);
        return parsed.is_object() ? parsed : Json(nullptr);
    }
    }
    return nullptr;
}

Value toValue(const Json& j) {
    if (j.is_null())
        return Value();
    if (j.is_boolean())
        return Value(j.get<bool>());
    if (auto i = asInteger(j))
        return Value(*i);
    if (j.is_number())
        return Value(j.get<double>());
    if (j.is_string())
        return Value(j.get<std::string>());
    if (j.is_array()) {
        Value::List l;
        for (const auto& item : j)
            l.push_back(toValue(item));
        return Value(std::move(l));
    }
    // Objects are carried whole (the settings arrays hold some); keys come out sorted.
    if (j.is_object())
        return Value::object(j.dump());
    return Value();
}

} // namespace qrn::json
