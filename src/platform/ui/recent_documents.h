#pragma once
// The documents QRN opened, most recent first. QRN's own list (kept in the user defaults) is the
// record of what it opened; each entry is also noted in the desktop's shared recent-files list
// (recently-used.xbel) so file managers and other programs see QRN's projects.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/result.h"

namespace qrn {

class RecentDocuments {
  public:
    static RecentDocuments& shared();

    // Absolute paths, most recent first, without duplicates.
    std::vector<std::filesystem::path> documents() const;
    // Moves (or adds) the document to the front, drops the oldest beyond the cap and notes it
    // in the desktop list. The desktop list failing to write does not lose our own entry.
    Status noteDocument(const std::filesystem::path& document);
    // Forgets QRN's own list; the desktop list is left to the desktop.
    void clear();
    // Told after each note and clear (the File menu's recent documents follow the list).
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    int maximumCount() const { return maximumCount_; }
    void setMaximumCount(int count);

    // $XDG_DATA_HOME/recently-used.xbel, or ~/.local/share/recently-used.xbel.
    static std::filesystem::path desktopListPath();

    struct DesktopEntry {
        std::string href;
        std::string added, modified, visited;
        std::string mimeType;
        std::vector<std::string> applications;
        int countForQrn = 0;
    };
    // Reads the bookmarks of an xbel file (empty when it is missing or unreadable).
    static std::vector<DesktopEntry> readDesktopList(const std::filesystem::path& file);
    // Adds or refreshes the bookmark of `document` in the xbel file, keeping every other
    // program's bookmarks as they were.
    static Status noteInDesktopList(const std::filesystem::path& file, const std::filesystem::path& document);

  private:
    void changed() const {
        if (changed_)
            changed_();
    }
    int maximumCount_ = 10;
    std::function<void()> changed_;
};

} // namespace qrn
