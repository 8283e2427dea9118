#include "platform/ui/workspace.h"

#include <QDesktopServices>
#include <QUrl>

namespace qrn {

namespace {
std::function<bool(const std::string&)>& opener() {
    static std::function<bool(const std::string&)> fn;
    return fn;
}
} // namespace

bool openWebAddress(const std::string& url) {
    const QUrl u(QString::fromStdString(url), QUrl::StrictMode);
    if (!u.isValid() || u.isRelative())
        return false;
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(u);
}

void setWebAddressOpenerForTesting(std::function<bool(const std::string&)> fn) {
    opener() = std::move(fn);
}

} // namespace qrn
