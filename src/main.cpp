#include "AppDelegate.h"
#include "appStartup.h"
#include "platform/qt/host_window.h"

int main(int argc, char** argv) {
    AppDelegate delegate;
    appStartup::install();
    return qrn::qt::runApplication(argc, argv, delegate);
}
