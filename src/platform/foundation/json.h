#pragma once
// JSON through nlohmann-json. Objects keep their keys sorted, so writing is deterministic.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/foundation/result.h"
#include "platform/foundation/value.h"

namespace qrn {

using Json = nlohmann::json;

namespace json {

// Deeper documents are refused: copying, converting and writing a value recurse, and nothing
// the program writes comes near this.
constexpr int maxDepth = 256;
// Larger files are refused unread; a project of a hundred slides takes about a megabyte.
constexpr std::uintmax_t maxFileBytes = 64u << 20;

// Parses text; any error (syntax, a number out of range, too deep) comes back as a message,
// never an exception. An object holding a key twice keeps the later value; with `repeatedKey`
// the first such key is told there (empty when there is none).
Result<Json> parse(const std::string& text, std::string* repeatedKey = nullptr);
// A regular file of at most maxFileBytes, parsed.
Result<Json> readFile(const std::filesystem::path& path, files::Links links = files::Links::follow,
                      std::string* repeatedKey = nullptr);
// Pretty-printed with sorted keys and a final newline. Fails on a NaN or infinite number, which
// JSON cannot hold (it would come out as null and the file would no longer read back as written);
// the message names where in the value it sits.
Result<std::string> write(const Json& value, int indent = 2);
// The text write() gives for an object whose members are made one at a time: each maker is
// called in the key order write() uses, its value written and let go before the next, so a large
// document is never held whole beside its text.
using MemberMakers = std::vector<std::pair<std::string, std::function<Json()>>>;
Result<std::string> writeObject(MemberMakers members, int indent = 2);
// The same for an array of `count` elements, element(i) made when its turn comes.
Result<std::string> writeArray(size_t count, const std::function<Json(size_t)>& element, int indent = 2);
// Replaces the file atomically; a value that cannot be written leaves the file as it was.
Status writeFile(const std::filesystem::path& path, const Json& value);

// Where a real is expected, integers are accepted too; anything else gives nullopt.
std::optional<double> asReal(const Json& v);
// Only true integers (a real with a fraction is not an integer).
std::optional<std::int64_t> asInteger(const Json& v);
std::optional<std::string> asString(const Json& v);
std::optional<bool> asBool(const Json& v);

// Value <-> JSON. Colours become number arrays and images cannot be represented (null).
Json fromValue(const Value& v);
Value toValue(const Json& j);

} // namespace json
} // namespace qrn
