#pragma once
// The editing screen's title-bar buttons. The buttons come with the editing workspace; until
// then the bar is an empty strip.
#include "View/Global/titleBarContentController.h"

class editScreenTitleBarController : public titleBarContentController {
  public:
    void loadContent() override;

  protected:
    void loadView() override;
};
