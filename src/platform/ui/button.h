#pragma once
// Buttons: push buttons with a title, image buttons, and check boxes. A click (press and release
// inside) sends the action; a check box flips its state first.
#include <QImage>

#include <optional>

#include "platform/ui/control.h"

namespace qrn::ui {

enum class ButtonType { push, image, checkBox };
enum class ControlState { off = 0, on = 1 };

class Button : public Control {
  public:
    explicit Button(const Rect& frame = {}, ButtonType type = ButtonType::push);
    static std::shared_ptr<Button> make(const Rect& frame = {}, ButtonType type = ButtonType::push) {
        return std::make_shared<Button>(frame, type);
    }
    static std::shared_ptr<Button> makeCheckBox(const std::string& title, const Rect& frame = {});
    static std::shared_ptr<Button> makeImageButton(const QImage& image, const Rect& frame = {});

    ButtonType type() const { return type_; }
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    // The named image of the application, drawn in the tint when it is a template.
    bool setImageNamed(const std::string& name, Size size = {20, 20});
    bool isBordered() const { return bordered_; }
    void setBordered(bool on);
    ControlState state() const { return state_; }
    void setState(ControlState s);
    bool isHighlighted() const { return highlighted_; }

    // A click as the user makes it: flips a check box and sends the action.
    void performClick();

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;
    void mouseDragged(const Event& e) override;
    void mouseUp(const Event& e) override;

  private:
    bool inside(const Event& e) const;
    ButtonType type_;
    std::string title_;
    QImage image_;
    bool bordered_ = true;
    ControlState state_ = ControlState::off;
    bool highlighted_ = false;
    bool tracking_ = false;
};

} // namespace qrn::ui
