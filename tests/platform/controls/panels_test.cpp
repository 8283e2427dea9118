#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>
#include <gtest/gtest.h>

#include "platform/qt/qt_dialogs.h"
#include "platform/ui/panels.h"
#include "platform/ui/replace_question.h"

using namespace qrn;
namespace fs = std::filesystem;

namespace {

class FilePanels : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString();
        fs::create_directories(root / "Talk.qrn3ks" / "images");
        std::ofstream(root / "Talk.qrn3ks" / "projectData.json") << "{}";
        fs::create_directories(root / "Plain folder");
        std::ofstream(root / "photo.png") << "x";
        std::ofstream(root / "Fake.qrn3ks") << "not a folder";
    }
    OpenPanel projectPanel() const {
        OpenPanel p;
        p.settings.message = "Choose QRN project";
        p.settings.prompt = "Choose";
        p.settings.canChooseFiles = true;
        p.settings.canChooseDirectories = false;
        p.settings.allowedTypes = {"qrn3ks"};
        p.settings.directory = root;
        return p;
    }
    QTemporaryDir dir;
    fs::path root;
};

} // namespace

TEST_F(FilePanels, AProjectFolderIsOfferedAndChosenAsOneDocument) {
    OpenPanel panel = projectPanel();
    const fs::path package = root / "Talk.qrn3ks";
    EXPECT_TRUE(isDocumentPackage(package));
    EXPECT_TRUE(panel.offers(package));
    EXPECT_TRUE(panel.canChoose(package));
    EXPECT_FALSE(panel.canNavigateInto(package));
    // Ordinary folders are entered, not chosen; other types are not offered.
    EXPECT_TRUE(panel.canNavigateInto(root / "Plain folder"));
    EXPECT_FALSE(panel.canChoose(root / "Plain folder"));
    EXPECT_FALSE(panel.offers(root / "photo.png"));
    // A plain file that only carries the extension is no project folder, but is of the type.
    EXPECT_FALSE(isDocumentPackage(root / "Fake.qrn3ks"));

    EXPECT_TRUE(panel.choose({fs::path(package.string() + "/")}));
    EXPECT_EQ(panel.url(), package);
    EXPECT_FALSE(panel.choose({package, root / "Fake.qrn3ks"}));
    EXPECT_FALSE(panel.url().has_value());
}

TEST_F(FilePanels, TheQtDialogChoosesThePackageInsteadOfEnteringIt) {
    OpenPanel panel = projectPanel();
    QtOpenDialog dialog(panel);
    dialog.selectFile(QString::fromStdString((root / "Talk.qrn3ks").string()));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(dialog.chosen().size(), 1u);
    EXPECT_EQ(dialog.chosen().front(), root / "Talk.qrn3ks");
}

TEST_F(FilePanels, RunModalGoesThroughThePresenterAndNeedsAChoice) {
    setOpenPanelPresenter([&](OpenPanel& p) {
        p.choose({root / "Talk.qrn3ks"});
        return ModalResponse::ok;
    });
    OpenPanel panel = projectPanel();
    EXPECT_EQ(panel.runModal(), ModalResponse::ok);
    EXPECT_EQ(panel.url(), root / "Talk.qrn3ks");

    // OK without a usable choice is a cancel.
    setOpenPanelPresenter([&](OpenPanel& p) {
        p.choose({root / "Plain folder"});
        return ModalResponse::ok;
    });
    EXPECT_EQ(panel.runModal(), ModalResponse::cancel);

    SavePanel save;
    save.settings.allowedTypes = {"qrn3ks"};
    setSavePanelPresenter([&](SavePanel& p) {
        p.choose(root / "New Talk");
        return ModalResponse::ok;
    });
    EXPECT_EQ(save.runModal(), ModalResponse::ok);
    EXPECT_EQ(save.url(), root / "New Talk.qrn3ks");
    EXPECT_TRUE(save.choose(root / "Other.QRN3KS"));
    EXPECT_EQ(save.url(), root / "Other.QRN3KS");
    EXPECT_FALSE(save.choose(""));
}

TEST(ColourPanel, SettingTheColourFromCodeDoesNotFireTheAction) {
    installQtDialogs();
    EXPECT_FALSE(ColourPanel::sharedExists());
    ColourPanel& panel = ColourPanel::shared();
    std::vector<Colour> received;
    int owner = 0;
    panel.setTarget(&owner);
    panel.setAction([&](ColourPanel& p) { received.push_back(p.colour()); });
    panel.setColour({0, 0, 1, 1});
    panel.orderFront();
    EXPECT_TRUE(panel.isVisible());
    panel.setColour({0, 1, 0, 1});
    EXPECT_TRUE(received.empty());
    // A pick in the panel reaches the action, without alpha.
    panel.userPickedColour({1, 0, 0, 0.5});
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (Colour{1, 0, 0, 1}));
    EXPECT_EQ(panel.target(), &owner);
    panel.close();
    EXPECT_FALSE(panel.isVisible());
}

TEST_F(FilePanels, ADialogWithoutAFolderOpensAtHomeThenWhereTheLastChoiceWas) {
    // Not in the folder QRN happened to be started from.
    OpenPanel panel = projectPanel();
    panel.settings.directory.clear();
    EXPECT_EQ(panelStartFolder(panel.settings), fs::path(QDir::homePath().toStdString()));
    {
        QtOpenDialog dialog(panel);
        EXPECT_EQ(dialog.directory().absolutePath(), QDir::homePath());
        dialog.selectFile(QString::fromStdString((root / "Talk.qrn3ks").string()));
        dialog.accept();
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    QtOpenDialog next(panel);
    EXPECT_EQ(next.directory().absolutePath().toStdString(), root.string());
    // A panel that names its folder keeps it.
    panel.settings.directory = root / "Plain folder";
    EXPECT_EQ(panelStartFolder(panel.settings), root / "Plain folder");
    // A remembered folder that went away is not offered.
    panel.settings.directory.clear();
    fs::remove_all(root);
    EXPECT_EQ(panelStartFolder(panel.settings), fs::path(QDir::homePath().toStdString()));
}

// Saving over a file asks once, whichever of the dialog and the panel asks.
TEST_F(FilePanels, SavingOverAFileAsksWhetherToReplaceItOnce) {
    installQtDialogs();
    std::ofstream(root / "Take 1.mov") << "old";
    int questions = 0;
    int tries = 0;
    // Answers whatever modal window comes up: the name in the save dialog, yes to a question.
    auto answer = [&] {
        // The newest modal window that is up (not the active one: another window may hold
        // the focus).
        QWidget* modal = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->isModal() &&
                (qobject_cast<QMessageBox*>(top) || (!modal && qobject_cast<QFileDialog*>(top))))
                modal = top;
        // A dialog that never takes the name is given up rather than left waiting.
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && ++tries > 250) {
            dialog->reject();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            // The name takes once the dialog has read its folder.
            const QString name = QString::fromStdString((root / "Take 1").string());
            dialog->selectFile(name);
            if (auto* field = dialog->findChild<QLineEdit*>("fileNameEdit"))
                field->setText("Take 1");
            if (dialog->selectedFiles().value(0) == name)
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            ++questions;
            for (QAbstractButton* button : box->buttons()) {
                const auto role = box->buttonRole(button);
                if (role == QMessageBox::YesRole || role == QMessageBox::DestructiveRole) {
                    button->click();
                    break;
                }
            }
        }
    };
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, answer);
    timer.start(20);
    SavePanel panel;
    panel.settings.allowedTypes = {"mov"};
    panel.settings.directory = root;
    EXPECT_EQ(panel.runModal(), ModalResponse::ok);
    timer.stop();
    EXPECT_EQ(panel.url(), root / "Take 1.mov");
    EXPECT_EQ(questions, 1);

    // A presenter that did not ask leaves the question to the panel; no keeps the file.
    int asked = 0;
    setReplaceQuestionPresenter([&](const fs::path&) {
        ++asked;
        return false;
    });
    setSavePanelPresenter([&](SavePanel& p) {
        p.choose(root / "Take 1");
        return ModalResponse::ok;
    });
    EXPECT_EQ(panel.runModal(), ModalResponse::cancel);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(panel.url().has_value());
    setSavePanelPresenter(nullptr);
    setReplaceQuestionPresenter(nullptr);
}
