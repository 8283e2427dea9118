#pragma once
// An icon button: a borderless button that, on its first layout pass, builds its own icon object
// and icon view from the values its screen configured. Its icon always fills 80 percent of it.
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/button.h"

class svgIconClass;

class svgButtonClass : public qrn::ui::Button {
  public:
    // The values a screen gives the button where it is laid out.
    struct Configuration {
        qrn::Rect frame;
        std::optional<std::string> iconName;
        int defaultColourPalletIndex = -1;
        std::optional<std::string> changeColourOnHover;
        int changeColourPalletIndexOnHover = -1;
        int isButton = 2;
        // Accepted like any other setting, but the icon stays at 80 percent.
        std::optional<double> iconPercentageRelativeToFrame;
    };
    // Buttons are only made from a configuration, never from a bare frame.
    explicit svgButtonClass(const Configuration& configuration);
    static std::shared_ptr<svgButtonClass> make(const Configuration& configuration) {
        return std::make_shared<svgButtonClass>(configuration);
    }

    virtual const std::shared_ptr<svgIconClass>& svgIconObj() const { return svgIconObj_; }
    virtual void setSvgIconObj(std::shared_ptr<svgIconClass> obj) { svgIconObj_ = std::move(obj); }
    virtual const std::optional<std::string>& iconName() const { return iconName_; }
    virtual void setIconName(std::optional<std::string> v) { iconName_ = std::move(v); }
    virtual int defaultColourPalletIndex() const { return defaultColourPalletIndex_; }
    virtual void setDefaultColourPalletIndex(int v) { defaultColourPalletIndex_ = v; }
    virtual const std::optional<std::string>& changeColourOnHover() const { return changeColourOnHover_; }
    virtual void setChangeColourOnHover(std::optional<std::string> v) { changeColourOnHover_ = std::move(v); }
    virtual int changeColourPalletIndexOnHover() const { return changeColourPalletIndexOnHover_; }
    virtual void setChangeColourPalletIndexOnHover(int v) { changeColourPalletIndexOnHover_ = v; }
    virtual int isButton() const { return isButton_; }
    virtual void setIsButton(int v) { isButton_ = v; }
    virtual double iconPercentageRelativeToFrameValue() const { return iconPercentageRelativeToFrameValue_; }
    virtual void setIconPercentageRelativeToFrameValue(double v) { iconPercentageRelativeToFrameValue_ = v; }
    virtual double iconPercentageRelativeToFrame() const { return 80.0; }
    // Whatever is written, the stored percentage becomes 80.
    virtual void setIconPercentageRelativeToFrame(double) { iconPercentageRelativeToFrameValue_ = 80.0; }

    // The first pass builds the icon from the bounds of that moment; later passes do nothing.
    void layout() override;
    void draw(QPainter& painter, const qrn::Rect& dirty) override;

  private:
    std::shared_ptr<svgIconClass> svgIconObj_;
    std::optional<std::string> iconName_;
    int defaultColourPalletIndex_ = -1;
    std::optional<std::string> changeColourOnHover_;
    int changeColourPalletIndexOnHover_ = -1;
    int isButton_ = 2;
    double iconPercentageRelativeToFrameValue_ = 80.0;
};
