#pragma once
// The state of one tinted icon: its view, its resting and changed tints, whether it acts as an
// enabled button, and the operations that recolour it.
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/colour.h"

class svgIconView;

class svgIconClass : public std::enable_shared_from_this<svgIconClass> {
  public:
    static std::shared_ptr<svgIconClass> make() { return std::make_shared<svgIconClass>(); }
    virtual ~svgIconClass() = default;

    // The view refers back to this object and keeps it alive. This object holds its view until
    // the view is placed in a superview; from then on the screen's view tree keeps it.
    virtual std::shared_ptr<svgIconView> imageView() const { return imageView_.lock(); }
    virtual void setImageView(const std::shared_ptr<svgIconView>& view);
    // Called by the view once it has a superview.
    void viewWasPlaced(const svgIconView* view);
    virtual std::optional<int> defaultColourPalletIndex() const { return defaultColourPalletIndex_; }
    virtual void setDefaultColourPalletIndex(std::optional<int> v) { defaultColourPalletIndex_ = v; }
    virtual bool keepChangedColourValue() const { return keepChangedColour_; }
    virtual void setKeepChangedColourValue(bool v) { keepChangedColour_ = v; }
    virtual const std::optional<std::string>& changeColourOnHover() const { return changeColourOnHover_; }
    virtual void setChangeColourOnHover(std::optional<std::string> v) { changeColourOnHover_ = std::move(v); }
    virtual std::optional<int> changeColourPalletIndexOnHover() const {
        return changeColourPalletIndexOnHover_;
    }
    virtual void setChangeColourPalletIndexOnHover(std::optional<int> v) {
        changeColourPalletIndexOnHover_ = v;
    }
    virtual std::optional<bool> isButtonEnabled() const { return isButtonEnabled_; }
    virtual void setIsButtonEnabled(std::optional<bool> v) { isButtonEnabled_ = v; }

    virtual std::shared_ptr<svgIconView> getImageView();
    virtual bool getIsButtonEnabled();
    // Arrow cursor and the light tint (a disabled button keeps its disabled tint); the held state
    // stays as it is.
    virtual void clearColourChange();
    // Holds the changed tint (true) or goes back to the resting tint (false).
    virtual void keepChangedColour(bool keep);
    virtual void enableButton(bool enable);

    // Tints the icon's picture; none draws the picture in its own colour.
    void tint(std::optional<qrn::Colour> colour);
    // The tint held while selected or hovered, and the resting one.
    std::optional<qrn::Colour> changedTint() const;
    qrn::Colour restingTint() const;

  private:
    std::weak_ptr<svgIconView> imageView_;
    std::shared_ptr<svgIconView> unplacedView_;
    std::optional<int> defaultColourPalletIndex_;
    bool keepChangedColour_ = false;
    std::optional<std::string> changeColourOnHover_;
    std::optional<int> changeColourPalletIndexOnHover_;
    std::optional<bool> isButtonEnabled_;
    // Set by enableButton(false), not by an icon that never was a button.
    bool disabled_ = false;
};
