#pragma once
// The three context menus of the editing screen: the layer menu (group, duplicate, delete),
// the asset menu (duplicate, delete) and the delete-only menu of an asset's background layer.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/view_controller.h"

namespace qrn::ui {
class Button;
}

// A menu of rows, one button each, top to bottom.
class popupMenuControllerBase : public qrn::ui::ViewController {
  protected:
    // The menu's rows, made with addRow when the view loads.
    virtual void makeRows() = 0;
    template <class Menu> std::shared_ptr<qrn::ui::Button> addRow(void (Menu::*action)()) {
        return addRowCalling(
            [action](popupMenuControllerBase& menu) { (static_cast<Menu&>(menu).*action)(); });
    }
    void loadView() override;

  private:
    std::shared_ptr<qrn::ui::Button> addRowCalling(std::function<void(popupMenuControllerBase&)> action);
    std::vector<std::shared_ptr<qrn::ui::Button>> rows_;
};

class popupMenuControllerOne : public popupMenuControllerBase {
  public:
    popupMenuControllerOne();
    std::shared_ptr<qrn::ui::Button> groupButton;
    std::shared_ptr<qrn::ui::Button> duplicateButton;
    std::shared_ptr<qrn::ui::Button> deleteButton;
    // Grouping is not offered yet: the button is shown disabled and does nothing.
    void groupButtonAction();
    void duplicateButtonAction();
    void deleteButtonAction();

  protected:
    void makeRows() override;
    void viewDidLoad() override;
};

class popupMenuControllerTwo : public popupMenuControllerBase {
  public:
    popupMenuControllerTwo();
    std::shared_ptr<qrn::ui::Button> duplicateButton;
    std::shared_ptr<qrn::ui::Button> deleteButton;
    // Both act on the asset tile under the pointer, or the selected asset when none is.
    void duplicateButtonAction();
    void deleteButtonAction();
    // The id of the asset tile under the pointer; set by the asset strip. Unset: none.
    static void setHoveredAssetTagHook(std::function<std::optional<int>()> hook);

  protected:
    void makeRows() override;
    void viewDidLoad() override;
};

class popupMenuControllerThree : public popupMenuControllerBase {
  public:
    popupMenuControllerThree();
    std::shared_ptr<qrn::ui::Button> deleteButton;
    void deleteButtonAction();

  protected:
    void makeRows() override;
    void viewDidLoad() override;
};
