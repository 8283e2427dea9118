#include <gtest/gtest.h>

#include <QTextEdit>

#include <fstream>
#include <sstream>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/autocueClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Editing/settingsViewClass.h"
#include "Controller/Global/fileMenuClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "View/Editing/autocueController.h"
#include "View/Editing/viewLoaderController.h"
#include "platform/foundation/user_defaults.h"
#include "platform/qt/host_window.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_view.h"
#include "platform/ui/window_controller.h"
#include "settings_fixture.h"

using namespace settingstest;
using qrn::AttributedString;

namespace {

class Script : public SettingsPanelTest {
  protected:
    autocueViewController* pane() {
        auto view = shownPane();
        return view ? dynamic_cast<autocueViewController*>(view->viewController()) : nullptr;
    }
    std::shared_ptr<qrn::ui::TextView> paneText() {
        return std::dynamic_pointer_cast<qrn::ui::TextView>(pane()->textField->documentView());
    }
    std::shared_ptr<qrn::ui::TextView> windowText() {
        auto controller = autocueClass::getScriptWindowController();
        auto content =
            std::static_pointer_cast<autocueWindowViewController>(controller->contentViewController());
        return std::dynamic_pointer_cast<qrn::ui::TextView>(content->textField->documentView());
    }
    // A click on the pane's header strip, through the window.
    void clickOverlay() {
        auto& overlay = *pane()->textFieldOverlay;
        click(overlay, {overlay.bounds().midX(), overlay.bounds().maxY() - 10});
    }
    void selectAt(int position) {
        editViewClass edit;
        const std::string id = previewLayerClass().getAssetArray()[size_t(position)];
        auto tile = position == 0
                        ? edit.getConfiguration()->stickyAsset->subviews().front()
                        : edit.getAssetHorizontalScrollView()->viewWithTag(std::stoi(id))->superview();
        edit.assetPreviewSelected(tile);
        ASSERT_EQ(previewLayerClass().getSelectedAssetIndex(), position);
    }
    static void type(qrn::ui::TextView& view, const std::string& text) {
        view.userEdited(AttributedString(text));
    }
    std::string fileText(const std::string& project, const std::string& name) {
        std::ifstream in(project + "/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static qrn::Colour veil(autocueViewController& p) {
        return p.textFieldOverlay->layer()->backgroundColour();
    }
};

} // namespace

TEST_F(Script, ThePaneAndTheWindowEditTheSelectedAssetsScript) {
    ASSERT_TRUE(createProject());
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    attributedStringStorageClass storage;
    ASSERT_EQ(storage.getAutocueStringArray().size(), 2u);
    storage.setAutocueStringArray({AttributedString("first"), AttributedString("second")});
    storage.setProjectNotes(AttributedString("NOTES"));
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    ASSERT_TRUE(pane());

    selectAt(0);
    EXPECT_EQ(paneText()->string(), "NOTES");
    type(*paneText(), "Notes typed");
    EXPECT_EQ(storage.getProjectNotes().string(), "Notes typed");
    selectAt(2);
    EXPECT_EQ(paneText()->string(), "second");
    type(*paneText(), "");
    EXPECT_FALSE(pane()->textFieldIsEmptyIcon->isHidden());
    type(*paneText(), "second typed");
    EXPECT_TRUE(pane()->textFieldIsEmptyIcon->isHidden());
    EXPECT_EQ(storage.getAutocueStringArray()[1].string(), "second typed");
    EXPECT_EQ(veil(*pane()).alpha, 0);
    EXPECT_TRUE(pane()->textFieldOverlayIcon->isHidden());

    // Into the window: the pane is emptied and veiled, its icons swapped.
    clickOverlay();
    autocueClass script;
    ASSERT_TRUE(script.getScriptEditorWindowOpen());
    EXPECT_EQ(windowText()->string(), "second typed");
    EXPECT_TRUE(paneText()->string().empty());
    EXPECT_EQ(veil(*pane()), (qrn::Colour{0, 0, 0, 0.3}));
    EXPECT_FALSE(pane()->textFieldOverlayIcon->isHidden());
    EXPECT_TRUE(pane()->textFieldIsEmptyIcon->isHidden());
    auto window = autocueClass::getScriptWindowController()->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(persistentDataStorageClass().getActiveWindow(), "scriptEditor");
    type(*windowText(), "from the window");
    EXPECT_EQ(storage.getAutocueStringArray()[1].string(), "from the window");
    // A second click on the veil does nothing.
    clickOverlay();
    EXPECT_TRUE(window->isVisible());

    // Closed by its own button: the text comes back to the pane.
    window->close();
    EXPECT_FALSE(script.getScriptEditorWindowOpen());
    EXPECT_EQ(paneText()->string(), "from the window");
    EXPECT_EQ(veil(*pane()).alpha, 0);
    EXPECT_EQ(storage.getAutocueStringArray()[1].string(), "from the window");

    // The window again (the same controller), for the notes, in the dark style: a white veil.
    qrn::UserDefaults::standard().set("AppleInterfaceStyle", qrn::Value("Dark"));
    stylingClass::resetInterfaceStyleForTesting();
    const auto controller = autocueClass::getScriptWindowController();
    selectAt(0);
    clickOverlay();
    EXPECT_EQ(autocueClass::getScriptWindowController(), controller);
    EXPECT_EQ(veil(*pane()), (qrn::Colour{1, 1, 1, 0.3}));
    EXPECT_EQ(windowText()->string(), "Notes typed");
    type(*windowText(), "Window notes");
    script.displayAutocueWindow(true);
    EXPECT_FALSE(script.getScriptEditorWindowOpen());
    EXPECT_EQ(storage.getProjectNotes().string(), "Window notes");
    // Closed already: forcing it closed changes nothing.
    script.displayAutocueWindow(true);
    EXPECT_FALSE(script.getScriptEditorWindowOpen());
}

TEST_F(Script, TheEmptyScriptIconFollowsTheSelectedAssetsScript) {
    ASSERT_TRUE(createProject());
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    attributedStringStorageClass().setAutocueStringArray({AttributedString(""), AttributedString("second")});
    selectAt(1);
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    ASSERT_TRUE(pane());
    EXPECT_FALSE(pane()->textFieldIsEmptyIcon->isHidden());
    // Not over another asset's script, and back on the empty one.
    selectAt(2);
    EXPECT_EQ(paneText()->string(), "second");
    EXPECT_TRUE(pane()->textFieldIsEmptyIcon->isHidden());
    selectAt(1);
    EXPECT_FALSE(pane()->textFieldIsEmptyIcon->isHidden());
    // While the window holds the script the pane shows neither.
    clickOverlay();
    selectAt(2);
    EXPECT_TRUE(pane()->textFieldIsEmptyIcon->isHidden());
    EXPECT_EQ(windowText()->string(), "second");
    selectAt(1);
    EXPECT_TRUE(pane()->textFieldIsEmptyIcon->isHidden());
    autocueClass().displayAutocueWindow(true);
    EXPECT_FALSE(pane()->textFieldIsEmptyIcon->isHidden());
}

TEST_F(Script, AClickOnTheEmptyScriptIconGivesTheTextTheKeyboard) {
    qrn::qt::installQtControls();
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    selectAt(1);
    auto& icon = *pane()->textFieldIsEmptyIcon;
    ASSERT_FALSE(icon.isHidden());
    clickCentre(icon);
    auto text = paneText();
    ASSERT_TRUE(text->isEditing()) << "the click on the icon opened no editor";
    EXPECT_EQ(text->window()->firstResponder(), text.get());
    auto content = std::dynamic_pointer_cast<qrn::qt::NativeWidgetContent>(text->nativeContent());
    auto* edit = content ? qobject_cast<QTextEdit*>(content->widget()) : nullptr;
    ASSERT_TRUE(edit);
    edit->insertPlainText("Typed after a click on the icon");
    EXPECT_EQ(attributedStringStorageClass().getAutocueStringArray().at(0).string(),
              "Typed after a click on the icon");
}

TEST_F(Script, InAWindowMadeTallerAClickJustBelowTheHeaderGivesTheTextTheKeyboard) {
    qrn::qt::installQtControls();
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    selectAt(1);
    auto window = pane()->view()->window();
    ASSERT_TRUE(window);
    window->setContentSize({window->contentSize().width, window->contentSize().height + 200});
    auto& root = *pane()->view();
    click(root, {root.bounds().midX(), root.bounds().maxY() - autocueViewController::headerHeight - 6});
    auto text = paneText();
    ASSERT_TRUE(text->isEditing()) << "the click below the header opened no editor";
    EXPECT_EQ(text->window()->firstResponder(), text.get());
}

TEST_F(Script, TypedScriptsReachTheDiskOnQuitAndOnNew) {
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    selectAt(0);
    clickOverlay();
    type(*windowText(), "Notes to keep");
    delegate.applicationWillTerminate();
    EXPECT_NE(fileText(projectPath(), "autocueData.json").find("Notes to keep"), std::string::npos);
}

TEST_F(Script, PaneTextThenNewIsWrittenToTheProjectBeingLeft) {
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    ASSERT_TRUE(pane());
    type(*paneText(), "Script of the first slide");
    // Half a second later on its own...
    advance(0.6);
    EXPECT_NE(fileText(projectPath(), "autocueData.json").find("Script of the first slide"),
              std::string::npos);
    // ...and at once when the project is left.
    type(*paneText(), "Changed just before New");
    const std::string second = dir.path().toStdString() + "/Second.qrn3ks";
    panelAnswers.push_back(second);
    fileMenuClass().newProject();
    advance(1.0);
    EXPECT_NE(fileText(projectPath(), "autocueData.json").find("Changed just before New"), std::string::npos);
}

TEST_F(Script, AScriptBeingEditedStaysWithTheProjectLeftByNew) {
    ASSERT_TRUE(createProject());
    for (const bool inWindow : {false, true}) {
        SCOPED_TRACE(inWindow ? "in the window" : "in the pane");
        settingsViewClass().loadSettingsView(1); // false when it shows already
        ASSERT_TRUE(pane());
        const std::string first = persistentDataStorageClass().getProjectDirectory();
        selectAt(0);
        type(*paneText(), "Notes of the project left");
        selectAt(1);
        if (inWindow) {
            clickOverlay();
            type(*windowText(), "Slide one script");
        } else {
            type(*paneText(), "Slide one script");
        }
        const std::string second = dir.path().toStdString() + (inWindow ? "/Third.qrn3ks" : "/Second.qrn3ks");
        panelAnswers.push_back(second);
        fileMenuClass().newProject();
        advance(1.0);
        ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), second);
        EXPECT_NE(fileText(first, "autocueData.json").find("Slide one script"), std::string::npos);
        // The new project starts on its own notes and empty scripts.
        EXPECT_EQ(attributedStringStorageClass().getProjectNotes().string(), "PROJECT NOTES");
        for (const auto& script : attributedStringStorageClass().getAutocueStringArray())
            EXPECT_EQ(script.string(), "");
        EXPECT_EQ(fileText(second, "autocueData.json").find("Slide one script"), std::string::npos);
        if (pane())
            EXPECT_EQ(paneText()->string().find("Slide one script"), std::string::npos);
    }
}

TEST_F(Script, WithoutAProjectFolderTheScriptsInMemoryAreKept) {
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    attributedStringStorageClass storage;
    storage.setAutocueStringArray({AttributedString("kept")});
    storage.setProjectNotes(AttributedString("kept notes"));
    persistentDataStorageClass().setProjectDirectory("");
    autocueClass().setTextField(AttributedString("shown"));
    EXPECT_EQ(paneText()->string(), "shown");
    ASSERT_EQ(storage.getAutocueStringArray().size(), 1u);
    EXPECT_EQ(storage.getAutocueStringArray()[0].string(), "kept");
    EXPECT_EQ(storage.getProjectNotes().string(), "kept notes");
}

TEST_F(Script, AScriptSetWhileThePanesEditorIsOpenShowsThereAndSurvivesAKeystroke) {
    qrn::qt::installQtControls();
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    auto text = paneText();
    text->beginEditing();
    auto content = std::dynamic_pointer_cast<qrn::qt::NativeWidgetContent>(text->nativeContent());
    ASSERT_TRUE(content);
    auto* edit = qobject_cast<QTextEdit*>(content->widget());
    ASSERT_TRUE(edit);
    autocueClass().setTextField(AttributedString("Set by the program"));
    EXPECT_EQ(edit->toPlainText(), "Set by the program");
    edit->moveCursor(QTextCursor::End);
    edit->insertPlainText("!");
    EXPECT_EQ(text->string(), "Set by the program!");
    // Opening the window closes the pane's editor: left open it would cover the veil.
    autocueClass().displayAutocueWindow(false);
    EXPECT_FALSE(text->isEditing());
    EXPECT_EQ(windowText()->string(), "Set by the program!");
    autocueClass().displayAutocueWindow(true);
}

TEST_F(Script, AfterNewAndOpenTheEmptyScriptIconIsNotLeftUnderThePanesEditor) {
    // The pane's editor is a native widget over the pane: while it is open it covers the icon.
    qrn::qt::installQtControls();
    ASSERT_TRUE(createProject());
    ASSERT_TRUE(settingsViewClass().loadSettingsView(1));
    const auto shows = [&] {
        return pane() && !pane()->textFieldIsEmptyIcon->isHidden() && !paneText()->isEditing();
    };
    EXPECT_TRUE(shows());
    // The presenter types in the pane, then makes a new project and opens the first again.
    paneText()->beginEditing();
    type(*paneText(), "Typed in the pane");
    panelAnswers.push_back(dir.path().toStdString() + "/Second.qrn3ks");
    fileMenuClass().newProject();
    advance(1.0);
    settingsViewClass().loadSettingsView(1);
    EXPECT_EQ(paneText()->string(), "");
    EXPECT_TRUE(shows()) << "over the new project's empty script";
    panelAnswers.push_back(projectPath());
    fileMenuClass().open();
    advance(3.0);
    ASSERT_EQ(persistentDataStorageClass().getProjectDirectory(), projectPath());
    settingsViewClass().loadSettingsView(1);
    previewLayerClass().addAsset(true, true, true, std::nullopt, std::nullopt, false, false, false);
    const int last = int(previewLayerClass().getAssetArray().size()) - 1;
    selectAt(last);
    EXPECT_EQ(paneText()->string(), "");
    EXPECT_TRUE(shows()) << "over the opened project's empty script";
    // From a script being edited to an asset whose script is empty.
    selectAt(0);
    paneText()->beginEditing();
    selectAt(last);
    EXPECT_TRUE(shows()) << "after leaving a script being edited for an empty one";
}
