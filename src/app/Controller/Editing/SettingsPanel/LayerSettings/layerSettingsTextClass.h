#pragma once
// The text tab ("layerTextView") of the layer settings pane: the selected text layer's text, its
// font family and size and its colour. Every change applies to the whole text, run by run, and
// goes to the editing logic, which stores it, shows it in the layer and writes it a little later.
// Text edits record no undo steps.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/colour.h"
#include "platform/ui/view_controller.h"

namespace qrn::ui {
class ComboBox;
class ColourWell;
class TextView;
} // namespace qrn::ui

struct layerSettingsTextViews {
    std::shared_ptr<qrn::ui::ComboBox> fontFamilyInput;
    std::shared_ptr<qrn::ui::ColourWell> fontColourInput;
    std::shared_ptr<qrn::ui::ComboBox> fontSizeInput;
    std::shared_ptr<qrn::ui::TextView> textView;
};

class layerSettingsTextClass {
  public:
    static const std::vector<int>& fontSizes();
    static constexpr int minimumFontSize = 5, maximumFontSize = 144, defaultFontSize = 20;
    static constexpr const char* defaultFontFamily = "Helvetica Neue";

    void setViews(std::optional<layerSettingsTextViews> views,
                  std::shared_ptr<qrn::ui::ViewController> controller);
    // Fills the tab from the selected layer; everything is switched off without a text layer.
    void initialiseViews();
    void clearClass();
    void updateTextSymbolText(const qrn::AttributedString& attributedString, bool updateTextInput);
    // Typing: the text in the well's colour, stored.
    void textChanged(const qrn::AttributedString& attributedString);
    void changeFontFamily(qrn::ui::ComboBox& sender);
    // Sizes outside 5...144 (and text that is no number) are brought inside.
    void changeFontSize(qrn::ui::ComboBox& sender);
    // The last of a quick series of colour changes applies, 0.1 s after it.
    void changeForegroundColourCheck(const qrn::Colour& colour, const std::string& colourSpace);
    void changeForegroundColour(const qrn::Colour& colour, const std::string& colourSpace,
                                int fontColourCheckValue);

    // The colour rule: runs without a font take the colour, runs with a font and a colour have it
    // replaced, runs with a font and no colour keep theirs.
    static qrn::AttributedString applyColourRule(const qrn::AttributedString& text,
                                                 const qrn::Colour& colour);
    static std::optional<layerSettingsTextViews> getViews();
    static void resetForTesting();
};

class layerSettingsTextController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::ComboBox> fontFamilyInput;
    std::shared_ptr<qrn::ui::ColourWell> fontColourInput;
    std::shared_ptr<qrn::ui::ComboBox> fontSizeInput;
    std::shared_ptr<qrn::ui::TextView> textView;

    void fontFamilyAction();
    void fontSizeAction();
    void changeColor(const qrn::Colour& colour);
    void textDidChange();

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillDisappear() override;
};
