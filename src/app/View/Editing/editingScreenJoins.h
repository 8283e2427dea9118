#pragma once
// The editing screen's operations reach one another through hooks (the preview model, the asset
// strip, the layer list and the drop view live in separate modules). The screen joins them when
// it loads; tests that build parts of the screen on their own start unjoined.

// join true: connect every hook to the screen's operations; false: disconnect them.
void joinEditingScreenOperations(bool join);
