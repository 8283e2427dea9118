#pragma once
// The recording studio's title-bar buttons. The buttons come with the studio; until
// then the bar is an empty strip.
#include "View/Global/titleBarContentController.h"

class recordScreenTitleBarController : public titleBarContentController {
  public:
    void loadContent() override;

  protected:
    void loadView() override;
};
