#pragma once
// Native widgets for the controls that need them: the line editor of a text field being edited,
// the rich-text editor of an editable text view, and the pop-up list of a combo box. The editors
// are shown by the host window as native content over their views.
namespace qrn::qt {

// Installs the editor factories of text fields and text views and the combo-box list.
void installQtControls();

} // namespace qrn::qt
