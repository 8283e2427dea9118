#pragma once
#include <string>

namespace qrn {
// A fresh random UUID as upper-case 36-character text.
std::string uuidString();

// The application's version ("0.1.0") and build number ("1"), from the build.
std::string applicationVersion();
std::string applicationBuild();
} // namespace qrn
