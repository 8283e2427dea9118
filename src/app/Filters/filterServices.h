#pragma once
// What the filter classes need from the rest of the application, behind small interfaces:
// the editing workspace (storing a target's filter values and showing the result), the panel
// controls (slider, colour swatch) and the shared colour panel. Their owners register real
// implementations; until the editing workspace registers, a stand-in acts on the video's
// filters in the filter model.
#include <any>
#include <memory>
#include <optional>

#include "Controller/Global/filterClass.h"
#include "platform/foundation/colour.h"

class filterEditingHost {
  public:
    virtual ~filterEditingHost() = default;
    // Switches filter `index` on or off for the target (the video, or the selected layer),
    // stores the entry when its first slot is not empty, re-renders the target and, with
    // exportData, saves the project.
    virtual void applyFilter(bool display, int index, const filterValuesEntry& VALUES_ARRAY,
                             bool videoLayerSelected, bool exportData) = 0;
    // The target's values, one entry per filter id.
    virtual filterValuesArray getLayerFilterValues(bool videoSelected) = 0;
    // The preview's selection: the video layer, or some layer.
    virtual bool isVideoLayerSelected() = 0;
    virtual bool isLayerSelected() = 0;
};

void setFilterEditingHost(std::shared_ptr<filterEditingHost> host);
// The registered host, or the stand-in.
filterEditingHost& filterEditing();
// The target's stored entry for the filter named `name`; none for an unknown name or a missing entry.
std::optional<filterValuesEntry> storedFilterEntry(const std::string& name, bool videoSelected);

class filterSlider {
  public:
    virtual ~filterSlider() = default;
    virtual double value() const = 0;
    virtual void setValue(double value) = 0;
    virtual double minValue() const = 0;
};

// The key colour swatch of the chroma key panel: a view whose layer shows a background colour.
class colourSwatch {
  public:
    virtual ~colourSwatch() = default;
    virtual std::optional<qrn::Colour> layerBackgroundColour() const = 0;
    virtual void setLayerBackgroundColour(const qrn::Colour& colour) = 0;
    virtual void setLayerBorder(double width, const qrn::Colour& colour, double cornerRadius) = 0;
};

// What a colour panel's target answers: the panel's changeColor: action, with the colour the
// user picked.
class colourChangeTarget {
  public:
    virtual ~colourChangeTarget() = default;
    virtual void changeColor(const qrn::Colour& colour) = 0;
};

class colourPanel {
  public:
    virtual ~colourPanel() = default;
    // Shows the panel on `colour`; its changes go to `target` as changeColor: actions. A target
    // is a std::shared_ptr or std::weak_ptr of colourChangeTarget; anything else gets nothing.
    virtual void show(const qrn::Colour& colour, bool showsAlpha, std::any target) = 0;
};

void setSharedColourPanel(std::shared_ptr<colourPanel> panel);
// None until the interface registers one.
std::shared_ptr<colourPanel> sharedColourPanel();
// The application's one colour panel (qrn::ColourPanel) behind the interface above. Only the
// target of the latest show() receives changes, and the panel does not keep it alive.
std::shared_ptr<colourPanel> makeSharedColourPanelAdapter();
