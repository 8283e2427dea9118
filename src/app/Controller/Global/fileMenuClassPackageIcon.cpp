// The project icon on a package folder. File managers that read a folder's ".directory" entry
// (the desktop entry of a directory) show the icon it names; the icon itself goes once into the
// user's icon theme, where every such entry finds it by name.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "Controller/Global/fileMenuClass.h"
#include "platform/foundation/files.h"

namespace {
const char* const iconName = "qrn-project";
}

qrn::Status fileMenuClass::setPackageIcon(const std::string& path) {
    const QString themeFolder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                "/icons/hicolor/scalable/apps";
    const QString icon = themeFolder + "/" + iconName + ".svg";
    if (!QFileInfo::exists(icon)) {
        if (!QDir().mkpath(themeFolder))
            return qrn::Status::failure("The icon folder " + themeFolder.toStdString() + " cannot be made");
        if (!QFile::copy(":/icons/UTI.svg", icon))
            return qrn::Status::failure("The project icon cannot be installed at " + icon.toStdString());
    }
    return qrn::files::replaceAtomically(path + "/.directory",
                                         std::string("[Desktop Entry]\nIcon=") + iconName + "\n");
}
