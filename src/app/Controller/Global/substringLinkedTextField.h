#pragma once
// A text field that turns its text, or the first occurrence of a part of it, into a web link.
#include <string>

#include "platform/ui/text_field.h"

class substringLinkedTextField : public qrn::ui::TextField {
  public:
    explicit substringLinkedTextField(const qrn::Rect& frame = {});

    virtual const std::string& link() const { return link_; }
    virtual void setLink(std::string v);
    virtual const std::string& HREF() const { return link_; }
    virtual void setHREF(std::string v) { setLink(std::move(v)); }
    virtual const std::string& linkText() const { return linkText_; }
    virtual void setLinkText(std::string v);
    virtual const std::string& LinkText() const { return linkText_; }
    virtual void setLinkTextProperty(std::string v) { setLinkText(std::move(v)); }

    // Sets the field up once its text and link are in place (the link is applied here only).
    virtual void awakeFromNib();
    void mouseEntered(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;

  private:
    std::string link_;
    std::string linkText_;
};
