// The editing screen as a presenter meets it: the window frame kept between starts, the settings
// pane after the window closes, the Control key after a shortcut in a text box, the title-bar
// tints after a pane switch, the Arrange menu's Group items and the files a web picture leaves.
// Every step goes through the window (clicks, keys, drops, menu items) as the app receives it.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>

#include <filesystem>
#include <set>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/popupMenuClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Landing/landingClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/stylingClass.h"
#include "View/Editing/LayerScrollView/layerScrollViewView.h"
#include "View/Editing/SettingsPanel/layerSettingsController.h"
#include "View/Editing/dragViewView.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Global/svgIconView.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/landingController.h"
#include "app/settings/settings_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/main_queue.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/dragging.h"
#include "platform/ui/event.h"
#include "platform/ui/image_view.h"
#include "platform/ui/menu.h"
#include "platform/ui/pasteboard.h"
#include "platform/ui/scroll_view.h"
#include "support/picture_server.h"

using qrn::ui::Event;
using qrn::ui::EventType;

namespace {

// The tint an icon button's picture is drawn in now.
std::optional<qrn::Colour> tintOf(const std::shared_ptr<svgButtonClass>& button) {
    auto picture =
        std::dynamic_pointer_cast<qrn::ui::ImageView>(button->svgIconObj()->getImageView()->subviews()[0]);
    return picture ? picture->contentTintColour() : std::nullopt;
}

bool lit(const std::shared_ptr<svgButtonClass>& button) {
    return button->svgIconObj()->keepChangedColourValue();
}

std::shared_ptr<qrn::MenuItem> menuItem(const std::string& menu, const std::string& title) {
    return qrn::mainMenu()->itemWithTitle(menu)->submenu()->itemWithTitle(title);
}

using qrn::test::pictureServer;

bool runUntil(const std::function<bool()>& done) {
    return qrn::test::runEventsAndQueueUntil(done);
}

std::set<std::string> downloadsLeft() {
    std::set<std::string> out;
    for (const auto& name : QDir::temp().entryList({"qrn-drop-*"}, QDir::Files))
        out.insert(name.toStdString());
    return out;
}

class EditingJoins : public settingstest::SettingsPanelTest {
  protected:
    void TearDown() override {
        SettingsPanelTest::TearDown();
        // Away from the test's folder, which goes with it.
        qrn::UserDefaults::useMemoryStore();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("config-unused"));
    }

    // A new project from the landing screen's own button.
    viewLoaderController* newProjectByClick(const std::string& path) {
        launch();
        panelAnswers.push_back(path);
        auto landing = landingClass::getLandingViewController();
        if (!landing || !landing->createNewProjectButton())
            return nullptr;
        clickCentre(*landing->createNewProjectButton());
        advance(1.0);
        return screen();
    }
    std::shared_ptr<editScreenTitleBarController> bar() { return editScreenTitleBarController::current(); }

    void press(qrn::ui::View& view, unsigned modifiers, EventType down = EventType::MouseDown) {
        auto* w = view.window();
        ASSERT_TRUE(w);
        const qrn::Point at = view.convertPointToView({view.bounds().midX(), view.bounds().midY()}, nullptr);
        w->sendEvent(Event::mouse(down, at, modifiers, 1));
        w->sendEvent(Event::mouse(down == EventType::MouseDown ? EventType::MouseUp : EventType::RightMouseUp,
                                  at, modifiers, 1));
    }
    void key(EventType type, int code, unsigned modifiers, const std::string& text = "") {
        mainWindow()->sendEvent(Event::key(type, code, text, modifiers));
    }

    // The layer list's tile of a layer.
    std::shared_ptr<qrn::ui::View> tileOf(const std::string& id) {
        for (const auto& tile : screen()->layerTableView->documentView()->subviews())
            if (std::dynamic_pointer_cast<layerScrollViewView>(tile) && !tile->subviews().empty() &&
                tile->subviews().back()->tag() == std::stoi(id))
                return tile;
        return nullptr;
    }
};

} // namespace

TEST_F(EditingJoins, TheWindowFrameSavedAfterAResizeIsWhereTheNextStartOpensTheProject) {
    // The real store, in a folder of the test's own.
    const QString first = dir.filePath("config-first"), second = dir.filePath("config-second");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, first);
    qrn::UserDefaults::usePersistentStore();
    const std::string project = dir.path().toStdString() + "/Framed.qrn3ks";
    ASSERT_TRUE(newProjectByClick(project));
    auto* w = mainWindow();
    const qrn::Rect opened = w->frame();
    // The user drags the window's corner, then moves it: the window manager reports each step.
    for (double grow : {10.0, 20.0, 40.0, 60.0, 80.0})
        w->hostDidResize({opened.width() + grow, opened.height() + grow / 2}, true);
    w->hostDidMove({opened.origin.x - 50, opened.origin.y - 30});
    advance(0.2);
    const qrn::Rect chosen = w->frame();
    ASSERT_NE(chosen, opened);
    menuItem("File", "Close")->perform();
    advance(1.0);
    ASSERT_EQ(mainWindow(), nullptr);

    // Quit: the store is written; the next process reads the file afresh.
    qrn::UserDefaults::useMemoryStore();
    std::filesystem::copy(first.toStdString(), second.toStdString(),
                          std::filesystem::copy_options::recursive);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, second);
    qrn::UserDefaults::usePersistentStore();
    launch({project});
    advance(1.0);
    ASSERT_EQ(shownScreenIdentifier(), "viewLoader");
    EXPECT_EQ(mainWindow()->frame(), chosen);
}

TEST_F(EditingJoins, AClosedWindowLeavesTheSettingsPaneOnSymbolsForTheNextProject) {
    ASSERT_TRUE(newProjectByClick(projectPath()));
    clickCentre(*bar()->buttonScriptSettings);
    ASSERT_EQ(settingsViewClass().getSelectedViewNumber(), 1);
    ASSERT_TRUE(lit(bar()->buttonScriptSettings));
    menuItem("File", "Close")->perform();
    advance(1.0);
    ASSERT_EQ(mainWindow(), nullptr);

    // File > New opens a window for the next project.
    panelAnswers.push_back(dir.path().toStdString() + "/Next.qrn3ks");
    menuItem("File", "New")->perform();
    advance(1.0);
    ASSERT_TRUE(screen());
    EXPECT_EQ(settingsViewClass().getSelectedViewNumber(), 0);
    EXPECT_TRUE(lit(bar()->buttonSymbolSettings));
    EXPECT_FALSE(lit(bar()->buttonScriptSettings));
    // The script icon does what it says.
    clickCentre(*bar()->buttonScriptSettings);
    EXPECT_EQ(settingsViewClass().getSelectedViewNumber(), 1);
    EXPECT_TRUE(lit(bar()->buttonScriptSettings));
}

TEST_F(EditingJoins, ControlLetGoInsideTheSizeBoxDoesNotMakeTheNextPlainClickAContextClick) {
    auto* editor = newProjectByClick(projectPath());
    ASSERT_TRUE(editor);
    const std::string image = addImageLayer();
    const std::string text = addTextLayer();
    clickCentre(*bar()->buttonLayerSettings);
    clickCentre(*menu().buttonTextLayer);
    auto views = layerSettingsTextClass::getViews();
    ASSERT_TRUE(views);
    // Into the size box; Control goes down there and up inside the box's own editor, which keeps
    // the release to itself.
    clickCentre(*views->fontSizeInput);
    key(EventType::FlagsChanged, qrn::ui::keycode::Control, qrn::ui::ModifierControl);
    key(EventType::KeyDown, 0, qrn::ui::ModifierControl, "a");
    advance(0.1);

    ASSERT_TRUE(tileOf(image));
    press(*tileOf(image), qrn::ui::ModifierNone);
    advance(0.3);
    EXPECT_FALSE(popupMenuClass().isPopoverDisplayed());
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(image));

    // Control really held (the left key, seen by the root view) still makes it a context click.
    key(EventType::FlagsChanged, qrn::ui::keycode::Control, qrn::ui::ModifierControl);
    EXPECT_TRUE(editViewClass().getControlKeyPressed());
    press(*tileOf(text), qrn::ui::ModifierControl);
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(text));
    advance(0.3);
    EXPECT_TRUE(popupMenuClass().isPopoverDisplayed());
}

TEST_F(EditingJoins, APaneSwitchLeavesTheTitleBarIconsInTheirRestingTintAndPrintDisabled) {
    ASSERT_TRUE(newProjectByClick(projectPath()));
    auto shown = bar();
    const auto light = stylingClass().getColour(4), disabled = stylingClass().getColour(6);
    const std::shared_ptr<svgButtonClass> resting[] = {shown->buttonNewProject, shown->buttonSaveProject,
                                                       shown->buttonDisplayVideo, shown->buttonRecordView};
    for (const auto& button : resting)
        EXPECT_EQ(tintOf(button), light);
    EXPECT_EQ(tintOf(shown->buttonPrint), disabled);

    for (const auto& pane :
         {shown->buttonLayerSettings, shown->buttonScriptSettings, shown->buttonSymbolSettings}) {
        clickCentre(*pane);
        for (const auto& button : resting)
            EXPECT_EQ(tintOf(button), light);
        EXPECT_EQ(tintOf(shown->buttonPrint), disabled);
        EXPECT_FALSE(shown->buttonPrint->svgIconObj()->getIsButtonEnabled());
    }
}

TEST_F(EditingJoins, ArrangeGroupAndUngroupAnswerOnTheEditingScreen) {
    ASSERT_TRUE(newProjectByClick(projectPath()));
    std::vector<std::string> lines;
    qrn::setLogSinkForTesting([&](const std::string& l) { lines.push_back(l); });
    globalAppSettingsClass::setShowLogsForTesting(true);
    const auto sibling = menuItem("Arrange", "Bring Forward");
    for (const char* title : {"Group", "Ungroup"}) {
        auto item = menuItem("Arrange", title);
        ASSERT_TRUE(item);
        // Connected like the other log-only items, and in the same state as they are.
        EXPECT_TRUE(item->hasAction()) << title;
        EXPECT_EQ(item->isEnabled(), sibling->isEnabled()) << title;
        // Chosen while enabled, it answers.
        const bool enabled = item->isEnabled();
        item->setEnabled(true);
        lines.clear();
        EXPECT_TRUE(item->perform()) << title;
        item->setEnabled(enabled);
        const std::string name = std::string(title) == "Group" ? "group" : "ungroup";
        const bool logged = std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find("arrangeMenuClass | public " + name + " |") != std::string::npos;
        });
        EXPECT_TRUE(logged) << title;
    }
    globalAppSettingsClass::setShowLogsForTesting(false);
    qrn::setLogSinkForTesting(nullptr);
}

TEST_F(EditingJoins, AWebPictureDropLeavesNoDownloadedFileBehindWhetherItLandsOrNot) {
    pictureServer server{qrn::test::pngBytes(40, 20, Qt::darkCyan)};
    auto* editor = newProjectByClick(projectPath());
    ASSERT_TRUE(editor);
    const auto before = downloadsLeft();
    const qrn::Rect preview = editor->dragView->convertRectToView(editor->dragView->bounds(), nullptr);
    auto drag = [&](int sequence) {
        auto board = qrn::ui::Pasteboard::makeForDrag();
        // As a browser offers a picture: its address, with bytes of a kind the preview takes.
        auto item = qrn::ui::PasteboardItem::withURL(server.url("/pic"));
        item.set(qrn::ui::pasteboard_type::data, QByteArray("web"));
        board->writeItems({item});
        qrn::ui::DraggingInfo info({preview.midX(), preview.midY()}, board);
        info.setSequenceNumber(sequence);
        return info;
    };

    // Dropped: the picture is in the project, the download gone.
    auto landed = drag(101);
    mainWindow()->draggingEntered(landed);
    ASSERT_TRUE(
        runUntil([&] { return mainWindow()->draggingUpdated(landed) != qrn::ui::DragOperationNone; }));
    ASSERT_TRUE(mainWindow()->performDrop(landed));
    advance(1.0);
    const auto layers =
        previewLayerClass().getLayerArrayReference()[size_t(previewLayerClass().getSelectedAssetIndex())];
    EXPECT_EQ(layers.size(), 1u);
    int copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(projectPath() + "/images"))
        copies += entry.is_regular_file();
    EXPECT_EQ(copies, 1);
    EXPECT_EQ(downloadsLeft(), before);

    // Dragged over and away again: nothing is left either.
    auto away = drag(102);
    mainWindow()->draggingEntered(away);
    ASSERT_TRUE(runUntil([&] { return mainWindow()->draggingUpdated(away) != qrn::ui::DragOperationNone; }));
    mainWindow()->draggingExited(away);
    advance(0.1);
    EXPECT_EQ(downloadsLeft(), before);
}
