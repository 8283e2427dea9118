#pragma once
// The editing screen of a new project, with helpers that press, right-click and hold keys
// through the window as the presenter would, and that go to the studio and back by its buttons.
#include <memory>
#include <string>
#include <vector>

#include "View/Editing/viewLoaderController.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/geometry.h"
#include "platform/ui/event.h"

namespace qrn::ui {
class View;
}

namespace workspacetest {

class WorkspaceTest : public shelltest::EditingShellTest {
  protected:
    std::string projectPath(const std::string& name = "Demo") const;
    // Creates a project from the landing screen and lets the editing screen settle.
    viewLoaderController* createProject();
    viewLoaderController* screen() const;

    // A press and release of the left or right button at a point of the drop view.
    void press(qrn::Point inPreview, qrn::ui::EventType down = qrn::ui::EventType::MouseDown);
    void rightClick(qrn::Point inPreview) { press(inPreview, qrn::ui::EventType::RightMouseDown); }
    // The same at a point of any view.
    void pressIn(qrn::ui::View& view, qrn::Point inBounds, qrn::ui::EventType down);
    // A modifier key pressed (or released) as the keyboard reports it.
    void flags(int keyCode, unsigned modifiers);
    // The modifier keys held since the last flags(); presses carry them.
    unsigned heldModifiers = 0;
    qrn::ui::Event eventAt(qrn::ui::View& view, qrn::Point inBounds,
                           qrn::ui::EventType type = qrn::ui::EventType::RightMouseDown) const;

    // A click on the editing title bar's studio button, and one on the studio title bar's
    // editing button; neither lets time pass.
    void pressStudioButton();
    void pressBackToEditingButton();

    // How often a view tagged tag stands among the drop view's direct subviews.
    int directTagCount(int tag) const;
};

} // namespace workspacetest
