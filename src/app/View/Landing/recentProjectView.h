#pragma once
// A row of the landing screen's recent projects: the project's icon and name; a click opens it.
#include <optional>
#include <string>

#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

class recentProjectView : public qrn::ui::View {
  public:
    explicit recentProjectView(const qrn::Rect& frame = {}) : View(frame) {}
    // A row for the project folder at `url`, with its hover tracking.
    static std::shared_ptr<recentProjectView> make(const std::string& url, const qrn::Rect& frame);

    const std::optional<std::string>& projectURL() const { return projectURL_; }
    void setProjectURL(std::optional<std::string> url) { projectURL_ = std::move(url); }

    void changeIconAndTextColour(bool value);
    void mouseDown(const qrn::ui::Event& e) override;
    void mouseEntered(const qrn::ui::Event& e) override;
    void mouseExited(const qrn::ui::Event& e) override;

  private:
    std::optional<std::string> projectURL_;
};

// The name of a row: one line, cut at its end; a click on it is a click on the row.
class recentProjectTextView : public qrn::ui::TextView {
  public:
    explicit recentProjectTextView(const qrn::Rect& frame = {}) : TextView(frame) {
        setTruncatesToOneLine(true);
        setPassesMouseToSuperview(true);
    }
};

// The name a project is listed under: the last path component without ".qrn3ks" and a dot
// left before it.
std::string recentProjectDisplayName(std::string path);
