#pragma once
// What main() sets up before the application runs: the Qt dialogs, the colour panel the filters
// reach, and how a new main window is sized and given its menu bar. The journey test starts
// QRN through the same call.
namespace appStartup {

// Installs all of the above; call once, before the application starts.
void install();

} // namespace appStartup
