#pragma once
// Closes the secondary windows and the colour panel, and resets the model and screen state
// when a project window closes or another project is opened.
class closeWindowsOrPanelClass {
  public:
    // Studio shown: texts, filters, model, editor and studio are cleared; editor shown: the
    // first four; otherwise nothing. Pending writes of the project are flushed first.
    void clearClasses(bool resetClass);
    void closeAllExternalWindows();
    // Only when the shared colour panel exists; it is never made for this.
    void closeColourPanel();
};
