#pragma once
// The autocue's rewind and forward buttons: they act while held. A press starts the hold, and the
// release or the pointer leaving the button ends it; the button sends no click of its own.
#include <optional>
#include <string>

#include "Controller/Global/svgButtonClass.h"

class autocueButtonHoldClass : public svgButtonClass {
  public:
    // "rewind" makes a rewind button; any other name, or none, a forward button.
    autocueButtonHoldClass(const Configuration& configuration, std::optional<std::string> buttonTypeName);
    static std::shared_ptr<autocueButtonHoldClass> make(const Configuration& configuration,
                                                        std::optional<std::string> buttonTypeName) {
        return std::make_shared<autocueButtonHoldClass>(configuration, std::move(buttonTypeName));
    }
    const std::optional<std::string>& buttonTypeName() const { return buttonTypeName_; }

    void mouseDown(const qrn::ui::Event& e) override;
    void mouseUp(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;
    void viewDidMoveToWindow() override;

  private:
    void hold(bool held);
    std::optional<std::string> buttonTypeName_;
    bool trackingAdded_ = false;
};
