#include "support/event_pump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace qrn::test {

bool pumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace qrn::test
