#include "View/Editing/autocueController.h"

#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/mainMenuAppearance.h"
#include "Controller/Global/mainWindowClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "platform/foundation/colour.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"

namespace {

// The instance the pane keeps: the overlay's clicks go to it.
std::shared_ptr<autocueClass> autocueObject;

const qrn::Rect paneFrame(0, 0, 694, 732);

// Over the whole pane: it veils the pane while the window is open and then takes every click;
// otherwise only its header strip answers, and the text below is edited as usual.
class scriptOverlayView : public qrn::ui::View {
  public:
    using View::View;
    qrn::ui::View* hitTest(qrn::Point pointInSuperview) override {
        if (!frame().contains(pointInSuperview) || isHidden())
            return nullptr;
        const bool veiled = layer()->backgroundColour().alpha > 0;
        const double headerBottom = frame().maxY() - autocueViewController::headerHeight;
        if (!veiled && pointInSuperview.y < headerBottom)
            return nullptr;
        return this;
    }
    void mouseDown(const qrn::ui::Event&) override { pressed_ = true; }
    void mouseUp(const qrn::ui::Event&) override {
        if (pressed_ && autocueObject)
            autocueObject->openAutocueWindowObjc();
        pressed_ = false;
    }

  private:
    bool pressed_ = false;
};

// The empty-script icon lies over the middle of the text: a click there is a click on the text,
// which takes the keyboard, so what the presenter types next is not lost.
class scriptPaneIcon : public svgButtonClass {
  public:
    using svgButtonClass::svgButtonClass;
    qrn::ui::View* hitTest(qrn::Point) override { return nullptr; }
};

template <typename Icon = svgButtonClass>
std::shared_ptr<svgButtonClass> makeIcon(const qrn::Rect& frame, const std::string& name) {
    svgButtonClass::Configuration config;
    config.frame = frame;
    config.iconName = name;
    config.defaultColourPalletIndex = 7;
    config.changeColourPalletIndexOnHover = 5;
    config.isButton = 0;
    auto icon = std::make_shared<Icon>(config);
    icon->setFrame(frame);
    return icon;
}

// The text fills the scroll view at any size of its window, so that a click anywhere below the
// header lands on the text and gives it the keyboard (it scrolls its own lines while edited).
class scriptScrollView : public qrn::ui::ScrollView {
  public:
    using ScrollView::ScrollView;
    void frameDidChange(const qrn::Rect& oldFrame) override {
        ScrollView::frameDidChange(oldFrame);
        if (const auto& text = documentView())
            text->setFrameSize(contentView()->bounds().size);
    }
};

// A scroll view over an editable text view whose typing becomes the selected asset's script.
std::shared_ptr<qrn::ui::ScrollView> makeScriptText(const qrn::Rect& frame) {
    auto scroll = std::make_shared<scriptScrollView>(frame);
    scroll->setHasVerticalScroller(true);
    scroll->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::HeightSizable);
    auto text = qrn::ui::TextView::make(qrn::Rect(0, 0, frame.width(), frame.height()));
    text->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::HeightSizable);
    text->setTextInset(8);
    text->setDrawsBackground(true);
    text->setBackgroundColour(qrn::ui::control_colours::controlBackground());
    text->setTextDidChange(
        [](qrn::ui::TextView& view) { autocueClass().scriptTyped(view.attributedString()); });
    scroll->setDocumentView(text);
    return scroll;
}

} // namespace

void autocueViewController::loadView() {
    auto root = qrn::ui::View::make(paneFrame);
    textField = makeScriptText(qrn::Rect(0, 0, paneFrame.width(), paneFrame.height() - headerHeight));
    root->addSubview(textField);
    auto header = qrn::ui::TextField::makeLabel(
        "Script  -  click here to edit in its own window",
        qrn::Rect(12, paneFrame.height() - headerHeight + 10, paneFrame.width() - 60, 20));
    header->setAutoresizingMask(qrn::ui::FlexibleMinYMargin | qrn::ui::WidthSizable);
    root->addSubview(header);
    auto openIcon =
        makeIcon(qrn::Rect(paneFrame.width() - 40, paneFrame.height() - 37, 34, 34), "editor_view");
    openIcon->setAutoresizingMask(qrn::ui::FlexibleMinYMargin | qrn::ui::FlexibleMinXMargin);
    root->addSubview(openIcon);
    textFieldIsEmptyIcon = makeIcon<scriptPaneIcon>(
        qrn::Rect((paneFrame.width() - 80) / 2, (paneFrame.height() - 80) / 2, 80, 80), "script_pane");
    textFieldIsEmptyIcon->setAutoresizingMask(qrn::ui::FlexibleMinXMargin | qrn::ui::FlexibleMaxXMargin |
                                              qrn::ui::FlexibleMinYMargin | qrn::ui::FlexibleMaxYMargin);
    root->addSubview(textFieldIsEmptyIcon);
    textFieldOverlay = std::make_shared<scriptOverlayView>(paneFrame);
    textFieldOverlay->setAutoresizingMask(qrn::ui::WidthSizable | qrn::ui::HeightSizable);
    textFieldOverlayIcon =
        makeIcon(qrn::Rect((paneFrame.width() - 80) / 2, (paneFrame.height() - 80) / 2, 80, 80),
                 "teleprompter_autocue");
    textFieldOverlayIcon->setAutoresizingMask(qrn::ui::FlexibleMinXMargin | qrn::ui::FlexibleMaxXMargin |
                                              qrn::ui::FlexibleMinYMargin | qrn::ui::FlexibleMaxYMargin);
    textFieldOverlay->addSubview(textFieldOverlayIcon);
    root->addSubview(textFieldOverlay);
    setView(root);
}

void autocueViewController::viewDidLoad() {
    QRN_LOG_IN();
    auto window = qrn::ui::SceneRegistry::instantiateWindowController("autocueWindow");
    auto object = std::make_shared<autocueClass>();
    object->initialisation(
        autocueViewConfigurationOne{textField, textFieldOverlay, textFieldOverlayIcon, textFieldIsEmptyIcon},
        window);
    autocueObject = object;
}

void autocueWindowViewController::loadView() {
    auto root = qrn::ui::View::make(qrn::Rect(0, 0, 600, 500));
    textField = makeScriptText(root->bounds());
    root->addSubview(textField);
    setView(root);
}

void autocueWindowViewController::viewDidLoad() {
    QRN_LOG_IN();
    autocueClass().initialisationTwo(autocueViewConfigurationTwo{textField});
    mainMenuAppearance().enableEditMenuItems();
}

void autocueWindowViewController::viewDidDisappear() {
    mainMenuAppearance().disableEditMenuItems();
}

autocueWindowController::autocueWindowController() {
    setWindowDelegate(&watcher_);
}

namespace {
std::function<void(qrn::ui::Window&)> scriptWindowPreparer;
} // namespace

void autocueWindowController::setWindowPreparer(std::function<void(qrn::ui::Window&)> preparer) {
    scriptWindowPreparer = std::move(preparer);
}

qrn::ui::WindowPtr autocueWindowController::makeWindow() {
    auto window = qrn::ui::Window::make(qrn::Rect(200, 200, 600, 500));
    window->setTitle("Script");
    // A small or scaled screen would put the title bar and the menus above its top, out of reach.
    window->setKeepsOnScreenWhenShown(true);
    // The Edit menu acts on the script while this window is key, so it needs a menu of its own.
    if (scriptWindowPreparer)
        scriptWindowPreparer(*window);
    // Shown again at every opening.
    window->setReleasedWhenClosed(false);
    // It belongs to the editor it was opened from: a click in the editor leaves it above.
    if (auto main = mainWindowClass().getCurrentMainWindow(); main && !main->isClosed())
        window->setParentWindow(main);
    return window;
}

void autocueWindowController::windowDidLoad() {
    globalAppSettingsClass().releaseScriptEditorClosing();
    auto content = std::make_shared<autocueWindowViewController>();
    setContentViewController(content);
    content->view();
}

void autocueWindowController::windowWillClose() {
    QRN_LOG_IN();
    globalAppSettingsClass().setScriptEditorClosing();
    autocueClass().autocueWindowClosed();
}

void autocueWindowController::keyWatcher::windowDidBecomeKey(qrn::ui::Window&) {
    persistentDataStorageClass().setActiveWindow("scriptEditor");
}
