#pragma once
// Hands web addresses to the user's browser.
#include <functional>
#include <string>

namespace qrn {

// False when the address is not a valid absolute URL or no browser took it.
bool openWebAddress(const std::string& url);
// Tests install a recorder so that no browser starts.
void setWebAddressOpenerForTesting(std::function<bool(const std::string&)> opener);

} // namespace qrn
