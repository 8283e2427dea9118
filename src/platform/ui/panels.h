#pragma once
// Open and save panels and the shared colour panel. The choice rules
// live here; the Qt bridge (qt/qt_dialogs.h) shows real dialogs and tests install presenters.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/colour.h"

namespace qrn {

enum class ModalResponse { cancel = 0, ok = 1 };

// Project documents are folders named "<name>.qrn3ks"; panels treat them as single files.
inline constexpr const char* kDocumentPackageExtension = "qrn3ks";
bool isDocumentPackage(const std::filesystem::path& path);
// A package folder's name without its extension, in whatever case it was typed: "Talk.QRN3KS" is
// "Talk" as "Talk.qrn3ks" is. A name that is only the extension is kept.
std::string withoutPackageExtension(std::string name);

struct FilePanelSettings {
    std::string title;
    std::string message;
    // Text of the default button.
    std::string prompt;
    // Save panels: the proposed file name.
    std::string nameFieldValue;
    // Save panels: the label beside the name field; empty for the dialog's own.
    std::string nameFieldLabel;
    // Whether the panel offers to make new folders.
    bool canCreateDirectories = true;
    // Extensions without the dot; empty allows every type.
    std::vector<std::string> allowedTypes;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    bool extensionHidden = false;
    bool showsTagField = true;
    // Folder shown first; empty for the dialog's own choice.
    std::filesystem::path directory;
};

class OpenPanel {
  public:
    FilePanelSettings settings;

    // A document package counts as a file of its extension's type, never as a folder to enter.
    bool canChoose(const std::filesystem::path& path) const;
    bool canNavigateInto(const std::filesystem::path& path) const;
    // Whether a listing shows the entry: folders to enter and anything that can be chosen.
    bool offers(const std::filesystem::path& path) const;
    // Sets the chosen paths when every one can be chosen (and only one unless multiple
    // selection is on); otherwise leaves the choice empty and returns false.
    bool choose(const std::vector<std::filesystem::path>& paths);

    // Shows the panel and waits for the answer; OK only with a choice.
    ModalResponse runModal();
    const std::vector<std::filesystem::path>& urls() const { return urls_; }
    std::optional<std::filesystem::path> url() const;

  private:
    bool typeAllowed(const std::filesystem::path& path) const;
    std::vector<std::filesystem::path> urls_;
};

class SavePanel {
  public:
    FilePanelSettings settings;

    // Takes the chosen path, adding the first allowed extension when the name has none of them.
    // Empty names are refused.
    bool choose(const std::filesystem::path& path);
    // The presenter has itself asked whether the chosen file may be replaced and was told yes:
    // the panel does not ask a second time.
    void confirmReplace() { replaceConfirmed_ = true; }
    ModalResponse runModal();
    std::optional<std::filesystem::path> url() const { return url_; }

  private:
    std::optional<std::filesystem::path> url_;
    bool replaceConfirmed_ = false;
};

// Presenters show a panel, call its choose() with the user's answer and return the response.
void setOpenPanelPresenter(std::function<ModalResponse(OpenPanel&)> presenter);
void setSavePanelPresenter(std::function<ModalResponse(SavePanel&)> presenter);

// The one shared colour panel: not modal, no alpha unless asked. A colour the user picks goes
// to the target's action; setting the colour from code does not fire it.
class ColourPanel {
  public:
    class Backend {
      public:
        virtual ~Backend() = default;
        virtual void show(const Colour& colour, bool showsAlpha) = 0;
        virtual void setColour(const Colour& colour) = 0;
        virtual void close(bool animated) = 0;
        virtual bool isVisible() const = 0;
    };

    static ColourPanel& shared();
    // True once shared() has made the panel.
    static bool sharedExists();
    // Closes and drops the shared panel, so the next shared() makes a new one. For tests.
    static void resetSharedForTesting();
    // The Qt bridge installs a dialog; without one the panel works headless (tests).
    static void setBackendFactory(std::function<std::unique_ptr<Backend>(ColourPanel&)> factory);

    const Colour& colour() const { return colour_; }
    void setColour(const Colour& colour);
    bool showsAlpha() const { return showsAlpha_; }
    void setShowsAlpha(bool on) { showsAlpha_ = on; }
    // The target identifies who receives changes (a controller checks it is still the one).
    const void* target() const { return target_; }
    void setTarget(const void* target) { target_ = target; }
    void setAction(std::function<void(ColourPanel&)> action) { action_ = std::move(action); }
    bool animates() const { return animates_; }
    void setAnimates(bool on) { animates_ = on; }

    // Brings the panel to the front, showing the current colour.
    void orderFront();
    void close();
    bool isVisible() const;
    // The user picked a colour in the panel: store it and send the action.
    void userPickedColour(const Colour& colour);

  private:
    ColourPanel() = default;
    Colour colour_ = Colour::white();
    bool showsAlpha_ = false;
    bool animates_ = true;
    bool visible_ = false;
    const void* target_ = nullptr;
    std::function<void(ColourPanel&)> action_;
    std::unique_ptr<Backend> backend_;
};

} // namespace qrn
