#include "platform/ui/pasteboard.h"

#include "platform/ui/file_url.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>

#include <algorithm>

namespace qrn::ui {

namespace {

const char* const symbolMime = "application/x-qrn-symbol";

// The clipboard as a pasteboard: items go to and come from the host clipboard as MIME data.
class GeneralPasteboard : public Pasteboard {
  public:
    int clearContents() override {
        Pasteboard::clearContents();
        if (auto* cb = clipboard())
            cb->clear();
        return changeCount_;
    }

    void writeItems(std::vector<PasteboardItem> items) override {
        Pasteboard::writeItems(items);
        if (auto* cb = clipboard())
            cb->setMimeData(mimeFromPasteboardItems(items_));
    }

    std::vector<PasteboardItem> items() const override {
        auto* cb = clipboard();
        if (!cb)
            return items_;
        const QMimeData* mime = cb->mimeData();
        return mime ? pasteboardItemsFromMime(*mime) : std::vector<PasteboardItem>{};
    }

    static QClipboard* clipboard() {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                            : nullptr;
    }
};

} // namespace

std::optional<QByteArray> PasteboardItem::get(const std::string& type) const {
    auto it = data.find(type);
    if (it == data.end())
        return std::nullopt;
    return it->second;
}

PasteboardItem PasteboardItem::withURL(const QUrl& url) {
    PasteboardItem item;
    item.set(url.isLocalFile() ? pasteboard_type::fileURL : pasteboard_type::url, url.toEncoded());
    return item;
}

PasteboardItem PasteboardItem::withData(const std::string& type, QByteArray bytes) {
    PasteboardItem item;
    item.set(type, std::move(bytes));
    return item;
}

Pasteboard& Pasteboard::general() {
    static GeneralPasteboard board;
    return board;
}

int Pasteboard::clearContents() {
    items_.clear();
    return ++changeCount_;
}

void Pasteboard::writeItems(std::vector<PasteboardItem> items) {
    for (auto& i : items)
        items_.push_back(std::move(i));
    ++changeCount_;
}

std::vector<PasteboardItem> Pasteboard::items() const {
    return items_;
}

std::vector<std::string> Pasteboard::types() const {
    std::vector<std::string> out;
    for (const auto& item : items())
        for (const auto& [type, bytes] : item.data)
            if (std::find(out.begin(), out.end(), type) == out.end())
                out.push_back(type);
    return out;
}

bool Pasteboard::hasAnyType(const std::vector<std::string>& wanted) const {
    for (const auto& t : types())
        if (std::find(wanted.begin(), wanted.end(), t) != wanted.end())
            return true;
    return false;
}

std::optional<QByteArray> Pasteboard::data(const std::string& type) const {
    for (const auto& item : items())
        if (auto d = item.get(type))
            return d;
    return std::nullopt;
}

void Pasteboard::setData(const std::string& type, QByteArray bytes) {
    auto all = items();
    if (all.empty())
        all.emplace_back();
    all.front().set(type, std::move(bytes));
    clearContents();
    writeItems(std::move(all));
}

std::vector<QUrl> Pasteboard::readURLs(bool imagesOnly) const {
    std::vector<QUrl> out;
    for (const auto& item : items()) {
        if (auto f = item.get(pasteboard_type::fileURL)) {
            QUrl u = QUrl::fromEncoded(*f);
            if (!imagesOnly || isImageFileName(u.toLocalFile().toStdString()))
                out.push_back(u);
        } else if (auto w = item.get(pasteboard_type::url)) {
            out.push_back(QUrl::fromEncoded(*w));
        }
    }
    return out;
}

QMimeData* mimeFromPasteboardItems(const std::vector<PasteboardItem>& items) {
    auto* mime = new QMimeData;
    QList<QUrl> urls;
    for (const auto& item : items) {
        for (const auto& [type, bytes] : item.data) {
            if (type == pasteboard_type::fileURL || type == pasteboard_type::url)
                urls.append(QUrl::fromEncoded(bytes));
            else if (type == pasteboard_type::tiff)
                mime->setData("image/tiff", bytes);
            else if (type == pasteboard_type::png)
                mime->setData("image/png", bytes);
            else if (type == pasteboard_type::string)
                mime->setText(QString::fromUtf8(bytes));
            else if (type == pasteboard_type::symbol)
                mime->setData(symbolMime, bytes);
            else if (type == pasteboard_type::data)
                mime->setData("application/octet-stream", bytes);
            else
                mime->setData(QString::fromStdString("application/x-qrn-" + type), bytes);
        }
    }
    if (!urls.isEmpty())
        mime->setUrls(urls);
    return mime;
}

std::vector<PasteboardItem> pasteboardItemsFromMime(const QMimeData& mime) {
    std::vector<PasteboardItem> items;
    for (const QUrl& u : mime.urls())
        items.push_back(PasteboardItem::withURL(u));
    PasteboardItem rest;
    if (mime.hasFormat("image/tiff"))
        rest.set(pasteboard_type::tiff, mime.data("image/tiff"));
    if (mime.hasFormat("image/png"))
        rest.set(pasteboard_type::png, mime.data("image/png"));
    if (mime.hasFormat(symbolMime))
        rest.set(pasteboard_type::symbol, mime.data(symbolMime));
    if (mime.hasFormat("application/octet-stream"))
        rest.set(pasteboard_type::data, mime.data("application/octet-stream"));
    if (mime.hasText() && mime.urls().isEmpty())
        rest.set(pasteboard_type::string, mime.text().toUtf8());
    for (const QString& f : mime.formats())
        if (f.startsWith("application/x-qrn-") && f != symbolMime)
            rest.set(f.mid(18).toStdString(), mime.data(f));
    if (!rest.data.empty()) {
        if (items.empty())
            items.push_back(std::move(rest));
        else
            for (auto& [t, b] : rest.data)
                items.front().set(t, b);
    }
    return items;
}

std::string localFilePath(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

bool isImageFileName(const std::string& path) {
    QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    if (suffix.isEmpty())
        return false;
    static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
    if (suffix == "jpg" || suffix == "jpeg" || suffix == "tif" || suffix == "tiff")
        return true;
    return formats.contains(suffix.toUtf8());
}

} // namespace qrn::ui
