#include <QCoreApplication>

#include "AppDelegate.h"
#include "appStartup.h"
#include "platform/qt/host_window.h"

int main(int argc, char** argv) {
    // Windows without a title of their own (alerts, the about box) show this name rather than
    // the program file's.
    QCoreApplication::setApplicationName("QRN");
    AppDelegate delegate;
    appStartup::install();
    return qrn::qt::runApplication(argc, argv, delegate);
}
