#pragma once
// Joins the layer tiles' and asset tiles' presses, and the preview's question whether a list
// drag runs, to the two reorder engines (true), or takes them apart again (false).
void joinReorderOperations(bool join);
