#pragma once
// The view of a tinted icon: its first subview shows the picture; with hover tracking the icon
// takes its hover tint and the pointing hand while the pointer is over it.
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/view.h"

class svgIconClass;

class svgIconView : public qrn::ui::View {
  public:
    explicit svgIconView(const qrn::Rect& frame = {}) : View(frame) {}

    // Until the view is placed in a superview the icon object holds the view, so the view holds
    // the object only weakly; once placed, the view tree keeps the view and the view the object.
    virtual std::shared_ptr<svgIconClass> svgIconObj() const;
    virtual void setSvgIconObj(std::shared_ptr<svgIconClass> obj);

    // Builds the view of `icon`: the picture `imageName` at `percentage` of `frame`, tinted with
    // the palette colour `colourIndex` (or the hover mode's default), with pointer tracking in
    // hover mode 2. The caller keeps the view in the icon object.
    static std::shared_ptr<svgIconView> createIconView(const std::shared_ptr<svgIconClass>& icon,
                                                       std::optional<int> colourIndex,
                                                       const std::string& imageName, int hoverMode,
                                                       const qrn::Rect& frame, double percentage);
    // As above; with `useDefaultColour` the icon rests in the hover mode's default tint whatever
    // `colourIndex` says.
    static std::shared_ptr<svgIconView> createIconView(const std::shared_ptr<svgIconClass>& icon,
                                                       std::optional<int> colourIndex, bool useDefaultColour,
                                                       const std::string& imageName, int hoverMode,
                                                       const qrn::Rect& frame, double percentage);
    // The picture's frame within the icon's frame: the same offset from the width for x and y,
    // rounded to two decimals.
    static qrn::Rect iconGeometry(const qrn::Rect& frame, double percentage);

    void mouseEntered(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;
    // Taken out of its window with the pointer over it (a menu closing under the click on its
    // button), the icon is left as the pointer leaving it would leave it.
    void viewWillMoveToWindow(qrn::ui::Window* newWindow) override;
    void viewDidMoveToSuperview() override;

  private:
    std::weak_ptr<svgIconClass> svgIconObj_;
    std::shared_ptr<svgIconClass> placedSvgIconObj_;
};
