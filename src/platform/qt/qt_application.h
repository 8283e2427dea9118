#pragma once
// Application-wide Qt pieces: the dark look of Qt's own widgets, and the Edit menu's text
// commands, which go to whichever native text editor has the keyboard focus.
#include "platform/ui/application.h"

class QWidget;

namespace qrn::qt {

// The Fusion style with a dark palette on the application, so menus, dialogs and native
// editors are dark whatever the desktop theme says.
void applyDarkAppearance();

// The focused line or text editor, if any.
QWidget* focusedTextEditor();
// Carries the command out on the focused editor; false when there is none. A read-only editor
// still copies and selects.
bool performEditCommand(ui::EditCommand command);
// Routes the application's Edit commands here.
void installEditCommands();

} // namespace qrn::qt
