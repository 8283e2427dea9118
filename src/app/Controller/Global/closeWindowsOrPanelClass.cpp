#include "Controller/Global/closeWindowsOrPanelClass.h"

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/aboutClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/videoSettingsClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/ui/panels.h"

void closeWindowsOrPanelClass::clearClasses(bool resetClass) {
    QRN_LOG_IN(LogValues{{"resetClass", resetClass}});
    const bool studio = recordViewClass().getRecordViewSelected();
    const bool editor = !studio && editViewClass().getEditViewSelected();
    if (!studio && !editor)
        return;
    // A write still waiting would otherwise store the emptied model over the project.
    persistentDataStorageClass().flushPendingExport();
    attributedStringStorageClass().flushPendingSymbolExport();
    attributedStringStorageClass().clearClass();
    filterClass().clearClass();
    previewLayerClass().clearClass(resetClass);
    editViewClass().clearClass(resetClass);
    if (studio)
        recordViewClass().clearClass();
    QRN_LOG_OUT();
}

void closeWindowsOrPanelClass::closeAllExternalWindows() {
    QRN_LOG_IN();
    if (recordViewClass().getRecordViewSelected())
        autocueDisplayClass().closeWindow();
    else if (editViewClass().getEditViewSelected())
        autocueClass().displayAutocueWindow(true);
    videoSettingsClass().closeWindow();
    aboutClass().closeWindow();
    QRN_LOG_OUT();
}

void closeWindowsOrPanelClass::closeColourPanel() {
    QRN_LOG_IN();
    if (!qrn::ColourPanel::sharedExists())
        return;
    auto& panel = qrn::ColourPanel::shared();
    const bool animates = panel.animates();
    panel.setAnimates(false);
    panel.close();
    panel.setAnimates(animates);
}
