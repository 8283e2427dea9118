#pragma once
// The recording studio in the running application: a project made from the landing screen with
// the test camera and microphone, opened in the studio as the editing screen's record button
// opens it.
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "app/shell/shell_fixture.h"
#include "platform/foundation/geometry.h"

class viewLoaderController;
class recordViewController;
class recordScreenTitleBarController;
class svgButtonClass;
namespace qrn::ui {
class View;
}

namespace studiotest {

class StudioTest : public shelltest::EditingShellTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates a project from the landing screen; with extraAssets more assets after the first.
    viewLoaderController* createProject(int extraAssets = 0);
    // Opens the studio by a click on the editing title bar's studio button and lets its
    // delayed set-up and refits land.
    recordViewController* openStudio();
    // Back to the editing screen by a click on the studio title bar's editing button.
    viewLoaderController* backToEditing();
    // The studio's title bar while the studio is shown.
    static std::shared_ptr<recordScreenTitleBarController> studioTitleBar();
    // A press and release at the centre of a button, through its window.
    static void clickButton(svgButtonClass& button);
    viewLoaderController* editingScreen();
    // Drops a file on the editing screen's preview at `at` (preview points) through its drop
    // view, as from a file manager; whether the drop was taken.
    static bool dropFile(viewLoaderController& editor, const QString& file, qrn::Point at);
    recordViewController* studio();
    // How many views below `in` carry the tag.
    static int countTag(const qrn::ui::View& in, int tag);
    // Waits (real time, the main queue pumped) until the camera has delivered a picture.
    static bool waitForCameraPicture();
    std::string projectPath() const;
};

} // namespace studiotest
