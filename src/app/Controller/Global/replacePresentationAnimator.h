#pragma once
// Screen changes in the one main window: the new screen replaces the old as the window's
// content with a fade (the platform's), and dismissing puts the presenter back.
#include "platform/ui/view_controller.h"

class replacePresentationAnimator : public qrn::ui::ReplaceContentAnimator {};
