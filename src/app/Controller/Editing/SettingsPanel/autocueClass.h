#pragma once
// The script editor: the script pane of the settings panel and the detached script window. It
// shows the selected asset's script (the sticky asset's is the project notes), moves it into the
// window and back, veils the pane while the window is open, shows an icon while the script is
// empty, and keeps what is typed as that asset's script.
#include <memory>
#include <optional>

#include "platform/foundation/attributed_string.h"

namespace qrn::ui {
class View;
class ScrollView;
class TextView;
class WindowController;
} // namespace qrn::ui
class svgButtonClass;

// The pane's views: its text (a scroll view over a text view), the overlay whose click opens the
// window, the icon shown on it while the window is open, and the icon shown for an empty script.
struct autocueViewConfigurationOne {
    std::shared_ptr<qrn::ui::ScrollView> textField;
    std::shared_ptr<qrn::ui::View> textFieldOverlay;
    std::shared_ptr<svgButtonClass> textFieldOverlayIcon;
    std::shared_ptr<svgButtonClass> textFieldIsEmptyIcon;
};

// The window's text.
struct autocueViewConfigurationTwo {
    std::shared_ptr<qrn::ui::ScrollView> textField;
};

class autocueClass {
  public:
    void initialisation(const autocueViewConfigurationOne& configuration,
                        std::shared_ptr<qrn::ui::WindowController> autocueWindow);
    void initialisationTwo(const autocueViewConfigurationTwo& configuration);
    // The text of the visible editor (the window's while it is open, else the pane's).
    std::optional<qrn::AttributedString> getTextField();
    // The same, but none while the editor still shows a script of a project that was left: the
    // asset selection and the studio keep what it returns as a script of the project open now.
    std::optional<qrn::AttributedString> getScriptBeingEdited();
    void setTextField(const qrn::AttributedString& string);
    // The given text, or the selected asset's script.
    void loadAutocueText(const std::optional<qrn::AttributedString>& string);
    void checkIfTextFieldIsEmpty(bool display);
    void displayTextFieldOverlay(bool display);
    // Open: the text goes back to the pane and the window closes. Closed: forceClose false opens
    // it with the text, true does nothing.
    void displayAutocueWindow(bool forceClose);
    void autocueWindowClosed();
    // The overlay's click.
    void openAutocueWindowObjc();
    bool getScriptEditorWindowOpen();
    // What the presenter types in either editor is the selected asset's script from then on.
    void scriptTyped(const qrn::AttributedString& text);

    // The visible editor's text view, if any.
    std::shared_ptr<qrn::ui::TextView> visibleTextView();
    static std::shared_ptr<qrn::ui::WindowController> getScriptWindowController();
    static void resetForTesting();
};
