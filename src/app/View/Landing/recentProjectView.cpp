#include "View/Landing/recentProjectView.h"

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mouseCursorClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/svgIconView.h"
#include "View/Landing/landingController.h"
#include "platform/foundation/colour.h"
#include "platform/ui/panels.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/tracking_area.h"

std::string recentProjectDisplayName(std::string path) {
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    if (auto slash = path.find_last_of('/'); slash != std::string::npos)
        path = path.substr(slash + 1);
    path = qrn::withoutPackageExtension(path);
    if (!path.empty() && path.back() == '.')
        path.pop_back();
    return path;
}

std::shared_ptr<recentProjectView> recentProjectView::make(const std::string& url, const qrn::Rect& frame) {
    auto row = std::make_shared<recentProjectView>(frame);
    row->setProjectURL(url);
    row->addTrackingArea(row->bounds(),
                         qrn::ui::TrackingMouseEnteredAndExited | qrn::ui::TrackingActiveInKeyWindow);
    return row;
}

void recentProjectView::changeIconAndTextColour(bool value) {
    const auto colour = qrn::namedColour(value ? "icon_colour_hover_dark" : "text_colour_dark_dark", true);
    const auto& rows = subviews();
    if (!rows.empty())
        if (auto* icon = dynamic_cast<svgIconView*>(rows[0].get()); icon && icon->svgIconObj())
            icon->svgIconObj()->keepChangedColour(value);
    if (rows.size() > 1 && colour)
        if (auto* name = dynamic_cast<qrn::ui::TextView*>(rows[1].get()))
            name->setDefaultTextColour(*colour);
}

void recentProjectView::mouseEntered(const qrn::ui::Event&) {
    mouseCursorClass().changeCursor(qrn::ui::CursorShape::PointingHand);
    changeIconAndTextColour(true);
}

void recentProjectView::mouseExited(const qrn::ui::Event&) {
    mouseCursorClass().changeCursor(std::nullopt);
    changeIconAndTextColour(false);
}

void recentProjectView::mouseDown(const qrn::ui::Event&) {
    QRN_LOG_IN();
    const std::string path = projectURL_.value_or("");
    QRN_LOG_ERROR("Opening project at {" + path + "}");
    persistentDataStorageClass storage;
    if (!storage.claimPackage(path))
        return;
    // The alert comes before the busy test: a dead row says so even while the screen is busy.
    if (!storage.checkIfProjectDataIsValid(path)) {
        throwClass().showError("Project Failed to Load");
        return;
    }
    auto landing = landingClass::getLandingViewController();
    if (!landing || landing->getActionInProgress())
        return;
    landing->setActionInProgress(true, false);
    imageManipulationClass().clearPermanentlyRemoveImageArray();
    storage.setProjectDirectory(path);
    landingClass().setOpenExistingProject(true);
    fileMenuClass::noteRecentDocument(path);
    changeIconAndTextColour(false);
    landing->setActionInProgress(false, true);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    landingClass().loadViewLoader();
    previewLayerPendingPictures::foresee();
    QRN_LOG_OUT();
}
