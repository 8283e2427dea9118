#pragma once
// What main() sets up before the application runs: the Qt dialogs, the colour panel the filters
// reach, and how a new main window is sized and given its menu bar. The journey test starts
// QRN through the same call.
namespace appStartup {

// Installs the pieces above; call once, with the QApplication made or about to be.
void install();

} // namespace appStartup
