#pragma once
// File URLs as a drop or the clipboard hands them over.
#include <QUrl>

#include <string>

namespace qrn::ui {

// The path a file URL names, as bytes: a dropped file's URL keeps the bytes of a name that is not
// valid UTF-8 percent-encoded, which QUrl::toLocalFile() would turn into replacement characters.
// Empty for a URL that names no local file.
std::string localFilePath(const QUrl& url);

} // namespace qrn::ui
