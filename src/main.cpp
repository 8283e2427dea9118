#include <QApplication>
#include <QMainWindow>

#include "platform/foundation/main_queue.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("QRN");
    QApplication::setOrganizationName("QRN");
    qrn::MainQueue::useEventLoop();

    QMainWindow window;
    window.setWindowTitle("QRN");
    window.resize(1280, 800);
    window.show();
    return app.exec();
}
