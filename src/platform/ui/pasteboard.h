#pragma once
// Pasteboards: the one a drag carries, and the general (clipboard) pasteboard. Each item holds
// the same content under one or more types. The program reads the general pasteboard only when
// the user asks for a paste.
#include <QByteArray>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMimeData;

namespace qrn::ui {

namespace pasteboard_type {
inline const std::string fileURL = "public.file-url";
inline const std::string url = "public.url";
inline const std::string tiff = "public.tiff";
inline const std::string png = "public.png";
inline const std::string string = "public.utf8-plain-text";
// Symbols dragged out of the symbol picker.
inline const std::string symbol = "org.qrn.symbol";
// Any bytes; the host's application/octet-stream.
inline const std::string data = "public.data";
} // namespace pasteboard_type

struct PasteboardItem {
    std::map<std::string, QByteArray> data;

    bool has(const std::string& type) const { return data.count(type) != 0; }
    std::optional<QByteArray> get(const std::string& type) const;
    void set(const std::string& type, QByteArray bytes) { data[type] = std::move(bytes); }

    static PasteboardItem withURL(const QUrl& url);
    static PasteboardItem withData(const std::string& type, QByteArray bytes);
};

class Pasteboard {
  public:
    Pasteboard() = default;
    virtual ~Pasteboard() = default;

    // The clipboard, shared with other programs through the host.
    static Pasteboard& general();
    // A fresh pasteboard for one drag.
    static std::shared_ptr<Pasteboard> makeForDrag() { return std::make_shared<Pasteboard>(); }

    // Empties the pasteboard; returns the new change count.
    virtual int clearContents();
    virtual void writeItems(std::vector<PasteboardItem> items);
    virtual std::vector<PasteboardItem> items() const;
    int changeCount() const { return changeCount_; }

    // Every type some item offers, in first-seen order.
    std::vector<std::string> types() const;
    bool hasAnyType(const std::vector<std::string>& wanted) const;
    // Data of the first item that has `type`.
    std::optional<QByteArray> data(const std::string& type) const;
    void setData(const std::string& type, QByteArray bytes);

    // File and web URLs of all items, in item order. With `imagesOnly`, file URLs whose file is
    // not an image type are left out (a web URL's content is unknown until fetched, so it stays).
    std::vector<QUrl> readURLs(bool imagesOnly = false) const;

  protected:
    std::vector<PasteboardItem> items_;
    int changeCount_ = 0;
};

// Conversions to and from the host's MIME data (drags and the clipboard).
std::vector<PasteboardItem> pasteboardItemsFromMime(const QMimeData& mime);
// The caller owns the result.
QMimeData* mimeFromPasteboardItems(const std::vector<PasteboardItem>& items);

// Whether a file name's extension is one of the readable image types.
bool isImageFileName(const std::string& path);

} // namespace qrn::ui
