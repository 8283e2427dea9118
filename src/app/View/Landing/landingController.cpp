#include "View/Landing/landingController.h"

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerPendingPictures.h"
#include "Controller/Global/bundleInformationClass.h"
#include "Controller/Global/closeWindowsOrPanelClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/imageManipulationClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Global/throwClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "View/Global/flippedView.h"
#include "View/Global/mainWindowController.h"
#include "View/Global/screenWindowAdapters.h"
#include "View/Global/svgIconView.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/recentProjectView.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/application.h"
#include "platform/ui/panels.h"
#include "platform/ui/recent_documents.h"
#include "platform/ui/text_view.h"

namespace {

bool actionInProgress = false;
bool recentProjectsListFilled = false;
bool landingViewVisible = false;
std::shared_ptr<persistentDataStorageClass> landingStorageObject;
std::shared_ptr<landingClass> landingClassObject;

qrn::Colour named(const char* name) {
    return qrn::namedColour(name, true).value_or(qrn::Colour{1, 1, 1, 1});
}

QFont systemFont(double size, bool bold = false) {
    QFont font("DejaVu Sans");
    font.setPointSizeF(size);
    font.setBold(bold);
    return font;
}

// A landing button: the icon above its label, centred.
std::shared_ptr<landingButtonView> makeLandingButton(const qrn::Rect& frame, const std::string& icon,
                                                     const std::string& title) {
    auto button = std::make_shared<landingButtonView>(frame);
    button->layer()->setBackgroundColour(named("background_colour_light_dark"));
    button->layer()->setCornerRadius(8);
    svgButtonClass::Configuration config;
    config.frame = qrn::Rect((frame.width() - 72) / 2, 48, 72, 72);
    config.iconName = icon;
    config.defaultColourPalletIndex = 7;
    config.changeColourPalletIndexOnHover = 5;
    config.isButton = 0;
    auto iconButton = svgButtonClass::make(config);
    iconButton->setFrame(config.frame);
    button->addSubview(iconButton);
    auto label = qrn::ui::TextField::makeLabel(title, qrn::Rect(0, 16, frame.width(), 24));
    label->setAlignment(qrn::TextAlignment::center);
    label->setFont(systemFont(14));
    label->setTextColour(named("text_colour_dark_dark"));
    button->addSubview(label);
    return button;
}

} // namespace

bool landingViewIsVisible() {
    return landingViewVisible;
}

std::shared_ptr<persistentDataStorageClass> getLandingStorageObject() {
    return landingStorageObject;
}

std::shared_ptr<landingClass> getLandingClassObject() {
    return landingClassObject;
}

landingController::landingController() = default;

landingController::~landingController() {
    if (activationObserver_)
        qrn::ui::Application::shared().removeActivationObserver(*activationObserver_);
}

void landingController::loadView() {
    // The screen: a centred card with the name and version, the two buttons on the left and the
    // recent projects on the right.
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, 1280, 762));
    root->layer()->setBackgroundColour(named("background_colour_dark_dark"));
    root->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);

    const double cardW = 780, cardH = 520;
    auto card = qrn::ui::View::make(
        qrn::Rect((root->frame().width() - cardW) / 2, (root->frame().height() - cardH) / 2, cardW, cardH));
    card->setAutoresizingMask(qrn::graphics::FlexibleMinXMargin | qrn::graphics::FlexibleMaxXMargin |
                              qrn::graphics::FlexibleMinYMargin | qrn::graphics::FlexibleMaxYMargin);
    root->addSubview(card);

    auto name = qrn::ui::TextField::makeLabel("QRN", qrn::Rect(40, 440, 300, 48));
    name->setFont(systemFont(34, true));
    name->setTextColour(named("text_colour_light_dark"));
    card->addSubview(name);

    auto version = qrn::ui::TextField::makeLabel("", qrn::Rect(40, 412, 300, 20));
    version->setFont(systemFont(12));
    card->addSubview(version);
    versionAndBuildNumbers_ = version;

    auto create = makeLandingButton(qrn::Rect(40, 222, 300, 160), "new_project", "Create new project");
    card->addSubview(create);
    createNewProjectButton_ = create;
    auto open = makeLandingButton(qrn::Rect(40, 40, 300, 160), "open_project", "Open existing project");
    card->addSubview(open);
    openExistingProjectButton_ = open;

    auto heading = qrn::ui::TextField::makeLabel("Recent projects", qrn::Rect(380, 452, 360, 24));
    heading->setFont(systemFont(14, true));
    heading->setTextColour(named("text_colour_light_dark"));
    card->addSubview(heading);

    auto frame = qrn::ui::View::make(qrn::Rect(380, 40, 360, 402));
    frame->layer()->setBackgroundColour(named("background_colour_light_dark"));
    frame->layer()->setCornerRadius(8);
    card->addSubview(frame);
    auto list = qrn::ui::ScrollView::make(qrn::Rect(0, 6, 360, 390));
    list->setDrawsBackground(false);
    frame->addSubview(list);
    recentProjectsScrollview_ = list;

    setView(root);
}

void landingController::viewDidLoad() {
    QRN_LOG_IN();
    std::weak_ptr<landingController> weak = std::static_pointer_cast<landingController>(shared_from_this());
    activationObserver_ = qrn::ui::Application::shared().addActivationObserver([weak]() {
        if (auto self = weak.lock())
            self->didBecomeActive();
    });
    recentProjectsListFilled = false;
    initialiseView();
}

void landingController::initialiseView() {
    QRN_LOG_IN();
    auto self = std::static_pointer_cast<landingController>(shared_from_this());
    landingStorageObject = std::make_shared<persistentDataStorageClass>();
    landingClassObject = std::make_shared<landingClass>();
    landingClass::setLandingViewController(self);
    landingStorageObject->setViewController(std::make_shared<controllerProjectViewController>(self));

    if (auto version = versionAndBuildNumbers()) {
        version->setTextColour(colourFromHex("#c2c2c2FF").value_or(qrn::Colour{}));
        version->setStringValue(bundleInformationClass().versionAndBuildLine());
    }

    std::weak_ptr<landingController> weak = self;
    if (auto create = createNewProjectButton())
        qrn::ui::ClickGestureRecognizer::attach(create, [weak](qrn::ui::ClickGestureRecognizer&) {
            if (auto s = weak.lock())
                s->createNewProject();
        });
    if (auto open = openExistingProjectButton())
        qrn::ui::ClickGestureRecognizer::attach(open, [weak](qrn::ui::ClickGestureRecognizer&) {
            if (auto s = weak.lock())
                s->openExistingProject();
        });

    if (auto list = recentProjectsScrollview()) {
        list->setAutoresizesSubviews(true);
        list->setAutoresizingMask(qrn::graphics::HeightSizable);
        list->setHasHorizontalScroller(false);
        list->setHasVerticalScroller(true);
        auto document = std::make_shared<flippedView>(
            qrn::Rect(0, 0, list->frame().width(), list->frame().height() - 2.0));
        document->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
        document->setAutoresizesSubviews(true);
        list->setDocumentView(document);
    }

    qrn::MainQueue::after(0.1, [weak]() {
        if (auto s = weak.lock())
            s->fillRecentProjectsList(true);
    });
    QRN_LOG_OUT();
}

void landingController::viewWillAppear() {
    if (auto version = versionAndBuildNumbers())
        persistentDataStorageClass().setVersionAndBuildText(version->stringValue());
}

void landingController::viewDidAppear() {
    mainWindowController::makeScreenTheWindowDelegate(*this);
    landingViewVisible = true;
    if (auto* w = window()) {
        w->setTitle("QRN");
        // The landing screen carries no title-bar buttons.
        w->setTitlebarAccessory(nullptr, 0);
        if (w->isKeyWindow())
            persistentDataStorageClass().setActiveWindow("mainApp");
    }
    mainMenuAppearance().startUpMenu();
}

void landingController::viewDidDisappear() {
    landingViewVisible = false;
}

void landingController::windowDidBecomeKey(qrn::ui::Window&) {
    persistentDataStorageClass().setActiveWindow("mainApp");
}

void landingController::windowWillClose(qrn::ui::Window&) {
    closeWindowsOrPanelClass().closeAllExternalWindows();
    mainWindowClass().setAWindowIsOpen(false);
}

void landingController::setActionInProgress(bool value, bool delay) {
    QRN_LOG_IN(LogValues{{"actionInProgress", value}, {"delay", delay}});
    if (!delay) {
        actionInProgress = value;
        return;
    }
    qrn::MainQueue::after(2.0, [value]() { actionInProgress = value; });
}

bool landingController::getActionInProgress() {
    QRN_LOG_OUT(LogValues{{"actionInProgress", actionInProgress}});
    return actionInProgress;
}

void landingController::didBecomeActive() {
    fillRecentProjectsList(false);
}

void landingController::fillRecentProjectsList(bool check) {
    QRN_LOG_IN(LogValues{{"check", check}});
    if (!landingViewVisible)
        return;
    if (check && recentProjectsListFilled)
        return;
    recentProjectsListFilled = true;
    auto list = recentProjectsScrollview();
    if (!list || !list->documentView())
        return;
    const auto& document = list->documentView();
    document->setSubviews({});
    document->setFrame(qrn::Rect(0, 0, list->bounds().width(), 0));

    int i = 0;
    for (const auto& entry : qrn::RecentDocuments::shared().documents()) {
        const int position = i++;
        const std::string path = entry.string();
        std::error_code error;
        if (!std::filesystem::exists(path, error))
            continue; // its band stays empty
        const double width = document->frame().width() - 17.0;
        auto row = recentProjectView::make(path, qrn::Rect(1.0, rowHeight * position, width, rowHeight));

        auto icon = svgIconClass::make();
        icon->setDefaultColourPalletIndex(7);
        icon->setIsButtonEnabled(false);
        auto iconView = svgIconView::createIconView(icon, 7, "teleprompter_autocue", 0,
                                                    qrn::Rect(15.0, 2.0, 30.0, 30.0), 100);
        icon->setImageView(iconView);
        row->addSubview(iconView);

        auto name = std::make_shared<recentProjectTextView>(qrn::Rect(50.0, 7.0, width - 50.0, 20.0));
        name->setString(recentProjectDisplayName(path));
        name->setEditable(false);
        name->setSelectable(false);
        name->setDrawsBackground(false);
        name->setDefaultTextColour(named("text_colour_dark_dark"));
        qrn::TextAttributes typing;
        typing.font = qrn::Font{"DejaVu Sans", "DejaVu Sans", "", 13};
        name->setTypingAttributes(typing);
        row->addSubview(name);

        document->addSubview(row);
        qrn::Rect frame = document->frame();
        frame.size.height = rowHeight * (position + 1);
        document->setFrame(frame);
    }
    QRN_LOG_OUT();
}

void landingController::createNewProject() {
    QRN_LOG_IN();
    if (actionInProgress)
        return;
    actionInProgress = true;
    imageManipulationClass().clearPermanentlyRemoveImageArray();
    qrn::SavePanel panel;
    panel.settings = fileMenuClass::newProjectPanelSettings();
    const auto response = panel.runModal();
    if (response == qrn::ModalResponse::ok && panel.url()) {
        try {
            if (!fileMenuClass().initialiseNewProjectDirectory(panel.url()->string())) {
                setActionInProgress(false, true);
                return;
            }
        } catch (const qrnError& error) {
            QRN_LOG_ERROR(error.localizedDescription());
            // Said as File > New says it: a click that leaves no project and no word is lost.
            throwClass().showError(error.localizedDescription());
            setActionInProgress(false, true);
            return;
        }
        setActionInProgress(false, true);
        globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
        landingClassObject->setOpenExistingProject(false);
        landingClassObject->loadViewLoader();
    } else if (response == qrn::ModalResponse::ok) {
        setActionInProgress(false, true);
    } else {
        setActionInProgress(false, true);
        if (auto button = createNewProjectButton())
            button->changeSubviewColours(false);
    }
    QRN_LOG_OUT();
}

void landingController::openExistingProject() {
    QRN_LOG_IN();
    if (actionInProgress)
        return;
    actionInProgress = true;
    imageManipulationClass().clearPermanentlyRemoveImageArray();
    qrn::OpenPanel panel;
    panel.settings = fileMenuClass::openProjectPanelSettings("Select QRN project", "");
    const auto response = panel.runModal();
    if (response == qrn::ModalResponse::ok && panel.url()) {
        const std::string path = panel.url()->string();
        QRN_LOG_ERROR("Opening project at {" + path + "}");
        persistentDataStorageClass storage;
        if (!storage.claimPackage(path)) {
            setActionInProgress(false, true);
            return;
        }
        if (!storage.checkIfProjectDataIsValid(path)) {
            throwClass().showError("Project Failed to Load");
            setActionInProgress(false, true);
            return;
        }
        storage.setProjectDirectory(path);
        landingClassObject->setOpenExistingProject(true);
        fileMenuClass::noteRecentDocument(path);
        setActionInProgress(false, true);
        globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
        landingClassObject->loadViewLoader();
        previewLayerPendingPictures::foresee();
    } else if (response == qrn::ModalResponse::ok) {
        setActionInProgress(false, true);
    } else {
        setActionInProgress(false, true);
        if (auto button = openExistingProjectButton())
            button->changeSubviewColours(false);
    }
    QRN_LOG_OUT();
}
