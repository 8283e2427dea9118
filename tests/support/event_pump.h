#pragma once
// Waiting on the Qt event loop, for tests whose windows paint and resize through real Qt events.
#include <functional>

class QObject;
class QPointF;

namespace qrn::test {

// A left click, press then release, sent to `target` at its own point `at` (`global` on the screen).
void click(QObject* target, const QPointF& at, const QPointF& global);

// Processes Qt events until `done` holds or `ms` milliseconds have passed; gives `done()`.
bool pumpUntil(const std::function<bool()>& done, int ms = 3000);

} // namespace qrn::test
