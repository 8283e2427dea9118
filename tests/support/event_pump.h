#pragma once
// Waiting on the Qt event loop, for tests whose windows paint and resize through real Qt events.
#include <functional>

namespace qrn::test {

// Processes Qt events until `done` holds or `ms` milliseconds have passed; gives `done()`.
bool pumpUntil(const std::function<bool()>& done, int ms = 3000);

} // namespace qrn::test
