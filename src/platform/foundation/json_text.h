#pragma once
// Comparing the text json::writeObject would give with a text already written, without making it.
#include <string_view>

#include "platform/foundation/json.h"

namespace qrn::json {

// Whether writeObject(members, indent) would give exactly `text`, found a member at a time, the
// text of each let go before the next is made; false from the first difference on (the members
// after it are not made), or when the text could not be written.
bool writesText(MemberMakers members, std::string_view text, int indent = 2);

} // namespace qrn::json
