// The filter classes' colour panel interface, carried out by the shared qrn::ColourPanel.
#include "Filters/filterServices.h"
#include "platform/ui/panels.h"

namespace {

std::weak_ptr<colourChangeTarget> targetOf(const std::any& target) {
    if (const auto* strong = std::any_cast<std::shared_ptr<colourChangeTarget>>(&target))
        return *strong;
    if (const auto* weak = std::any_cast<std::weak_ptr<colourChangeTarget>>(&target))
        return *weak;
    return {};
}

class sharedColourPanelAdapter : public colourPanel {
  public:
    void show(const qrn::Colour& colour, bool showsAlpha, std::any target) override {
        qrn::ColourPanel& panel = qrn::ColourPanel::shared();
        const std::weak_ptr<colourChangeTarget> receiver = targetOf(target);
        // Replacing the target and action before the colour: the colour set here is not a
        // user's pick, and the previous target must not hear of it either.
        panel.setTarget(receiver.lock().get());
        panel.setAction([receiver](qrn::ColourPanel& p) {
            if (const auto t = receiver.lock())
                t->changeColor(p.colour());
        });
        panel.setShowsAlpha(showsAlpha);
        panel.setColour(colour);
        panel.orderFront();
    }
};

} // namespace

std::shared_ptr<colourPanel> makeSharedColourPanelAdapter() {
    return std::make_shared<sharedColourPanelAdapter>();
}
