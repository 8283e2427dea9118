#include "platform/ui/recent_documents.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/foundation/files.h"
#include "platform/foundation/user_defaults.h"

namespace qrn {

namespace {

const char* const kDefaultsKey = "QRNRecentDocuments";
const QString kAppName = "QRN";
const QString kBookmarkNs = "http://www.freedesktop.org/standards/desktop-bookmarks";
const QString kMimeNs = "http://www.freedesktop.org/standards/shared-mime-info";

QString nowStamp() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

// Paths are bytes; Qt's text and the stored defaults hold only valid UTF-8.
bool isUtf8(const std::string& bytes) {
    const QByteArray b = QByteArray::fromStdString(bytes);
    return QString::fromUtf8(b).toUtf8() == b;
}

QString hrefOf(const std::filesystem::path& document) {
    const std::string path = document.lexically_normal().string();
    if (!isUtf8(path))
        return QString::fromLatin1("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
}

// A document as the defaults keep it: its path, or a path that is not valid UTF-8 as a file URL
// of its bytes (a stored path always starts with "/").
const char* const kByteUrl = "file://";

std::string storedForm(const std::filesystem::path& document) {
    const std::string path = document.string();
    return isUtf8(path) ? path
                        : kByteUrl + QByteArray::fromStdString(path).toPercentEncoding("/").toStdString();
}

std::filesystem::path fromStoredForm(const std::string& stored) {
    if (stored.rfind(kByteUrl, 0) != 0)
        return stored;
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(stored.substr(std::strlen(kByteUrl))))
        .toStdString();
}

std::filesystem::path normalised(const std::filesystem::path& p) {
    std::filesystem::path out = std::filesystem::absolute(p).lexically_normal();
    // "a/b.qrn3ks/" and "a/b.qrn3ks" are the same document.
    if (!out.has_filename() && out.has_parent_path())
        out = out.parent_path();
    return out;
}

// Copies the element the reader stands on (a start element) with everything inside it.
void copyElement(QXmlStreamReader& r, QXmlStreamWriter& w) {
    int depth = 0;
    do {
        if (r.tokenType() == QXmlStreamReader::StartElement)
            ++depth;
        else if (r.tokenType() == QXmlStreamReader::EndElement)
            --depth;
        w.writeCurrentToken(r);
        if (depth == 0)
            break;
        r.readNext();
    } while (!r.atEnd());
}

} // namespace

RecentDocuments& RecentDocuments::shared() {
    static RecentDocuments instance;
    return instance;
}

std::vector<std::filesystem::path> RecentDocuments::documents() const {
    std::vector<std::filesystem::path> out;
    if (auto list = UserDefaults::standard().arrayForKey(kDefaultsKey))
        for (const Value& v : *list)
            if (v.isString() && !v.toString().empty())
                out.push_back(fromStoredForm(v.toString()));
    return out;
}

Status RecentDocuments::noteDocument(const std::filesystem::path& document) {
    const std::filesystem::path doc = normalised(document);
    std::vector<std::filesystem::path> list = documents();
    list.erase(std::remove(list.begin(), list.end(), doc), list.end());
    list.insert(list.begin(), doc);
    if (static_cast<int>(list.size()) > maximumCount_)
        list.resize(static_cast<size_t>(maximumCount_));
    Value::List stored;
    for (const auto& p : list)
        stored.emplace_back(storedForm(p));
    UserDefaults::standard().set(kDefaultsKey, Value(stored));
    changed();
    return noteInDesktopList(desktopListPath(), doc);
}

void RecentDocuments::clear() {
    UserDefaults::standard().remove(kDefaultsKey);
    changed();
}

void RecentDocuments::setMaximumCount(int count) {
    maximumCount_ = std::max(1, count);
}

std::filesystem::path RecentDocuments::desktopListPath() {
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (!dataHome.isEmpty())
        return std::filesystem::path(dataHome.toStdString()) / "recently-used.xbel";
    const QByteArray home = qgetenv("HOME");
    return std::filesystem::path(home.isNull() ? "." : home.toStdString()) /
           ".local/share/recently-used.xbel";
}

std::vector<RecentDocuments::DesktopEntry>
RecentDocuments::readDesktopList(const std::filesystem::path& file) {
    std::vector<DesktopEntry> out;
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader r(&f);
    DesktopEntry* current = nullptr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto attrs = r.attributes();
            if (r.name() == u"bookmark" && r.namespaceUri().isEmpty()) {
                out.push_back({});
                current = &out.back();
                current->href = attrs.value("href").toString().toStdString();
                current->added = attrs.value("added").toString().toStdString();
                current->modified = attrs.value("modified").toString().toStdString();
                current->visited = attrs.value("visited").toString().toStdString();
            } else if (current && r.name() == u"mime-type" && r.namespaceUri() == kMimeNs) {
                current->mimeType = attrs.value("type").toString().toStdString();
            } else if (current && r.name() == u"application" && r.namespaceUri() == kBookmarkNs) {
                const QString name = attrs.value("name").toString();
                current->applications.push_back(name.toStdString());
                if (name == kAppName)
                    current->countForQrn = attrs.value("count").toInt();
            }
        } else if (r.isEndElement() && r.name() == u"bookmark" && r.namespaceUri().isEmpty()) {
            current = nullptr;
        }
    }
    if (r.hasError())
        return {};
    return out;
}

Status RecentDocuments::noteInDesktopList(const std::filesystem::path& file,
                                          const std::filesystem::path& document) {
    const QString href = hrefOf(normalised(document));
    const QString now = nowStamp();
    QString added = now;
    int count = 0;

    QByteArray existing;
    {
        QFile f(QString::fromStdString(file.string()));
        if (f.exists() && f.open(QIODevice::ReadOnly))
            existing = f.readAll();
    }

    QByteArray output;
    QXmlStreamWriter w(&output);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeNamespace(kBookmarkNs, "bookmark");
    w.writeNamespace(kMimeNs, "mime");
    w.writeStartElement("xbel");
    w.writeAttribute("version", "1.0");

    if (!existing.isEmpty()) {
        // Keep every other bookmark as it was; take over our earlier entry's history.
        QXmlStreamReader r(existing);
        int depth = 0;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement()) {
                ++depth;
                if (depth == 2) {
                    if (r.name() == u"bookmark" && r.attributes().value("href") == href) {
                        if (!r.attributes().value("added").isEmpty())
                            added = r.attributes().value("added").toString();
                        int inner = 1;
                        while (inner > 0 && !r.atEnd()) {
                            r.readNext();
                            if (r.isStartElement()) {
                                ++inner;
                                if (r.name() == u"application" && r.attributes().value("name") == kAppName)
                                    count = r.attributes().value("count").toInt();
                            } else if (r.isEndElement()) {
                                --inner;
                            }
                        }
                    } else {
                        copyElement(r, w);
                    }
                    --depth;
                }
            } else if (r.isEndElement()) {
                --depth;
            }
        }
        if (r.hasError()) {
            // A damaged desktop list is not ours to rewrite; leave it and report.
            return Status::failure("The desktop recent-files list could not be read: " +
                                   r.errorString().toStdString());
        }
    }

    w.writeStartElement("bookmark");
    w.writeAttribute("href", href);
    w.writeAttribute("added", added);
    w.writeAttribute("modified", now);
    w.writeAttribute("visited", now);
    w.writeStartElement("info");
    w.writeStartElement("metadata");
    w.writeAttribute("owner", "http://freedesktop.org");
    w.writeEmptyElement(kMimeNs, "mime-type");
    w.writeAttribute("type", "inode/directory");
    w.writeStartElement(kBookmarkNs, "applications");
    w.writeEmptyElement(kBookmarkNs, "application");
    w.writeAttribute("name", kAppName);
    w.writeAttribute("exec", "'qrn %u'");
    w.writeAttribute("modified", now);
    w.writeAttribute("count", QString::number(count + 1));
    w.writeEndElement(); // applications
    w.writeEndElement(); // metadata
    w.writeEndElement(); // info
    w.writeEndElement(); // bookmark
    w.writeEndElement(); // xbel
    w.writeEndDocument();

    if (auto s = files::createDirectories(file.parent_path()); !s)
        return s;
    return files::replaceAtomically(file, output.toStdString());
}

} // namespace qrn
