#include "platform/qt/qt_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <thread>

#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"
#include "platform/foundation/work_progress.h"
#include "platform/qt/qt_controls.h"
#include "platform/ui/panels.h"
#include "platform/ui/replace_question.h"

namespace qrn {

namespace fs = std::filesystem;

namespace {

QStringList nameFilters(const FilePanelSettings& s) {
    if (s.allowedTypes.empty())
        return {};
    QStringList patterns;
    for (const auto& t : s.allowedTypes)
        patterns << "*." + QString::fromStdString(t);
    return {patterns.join(' ')};
}

// The folder of the last choice in any panel, so that a presenter who saves a movie beside the
// project, or opens the next project, starts where the last one was.
fs::path& lastChosenFolder() {
    static fs::path folder;
    return folder;
}

void rememberChoice(const fs::path& chosen) {
    if (!chosen.empty() && chosen.has_parent_path())
        lastChosenFolder() = chosen.parent_path();
}

void applyCommon(QFileDialog& d, const FilePanelSettings& s) {
    // Qt's own dialog, so that packages can be offered as documents on every desktop.
    d.setOption(QFileDialog::DontUseNativeDialog, true);
    // Qt's dialog has no message line: the message stands in for a missing title.
    if (!s.title.empty())
        d.setWindowTitle(QString::fromStdString(s.title));
    else if (!s.message.empty())
        d.setWindowTitle(QString::fromStdString(s.message));
    if (!s.prompt.empty())
        d.setLabelText(QFileDialog::Accept, QString::fromStdString(s.prompt));
    const QStringList filters = nameFilters(s);
    if (!filters.isEmpty())
        d.setNameFilters(filters);
    d.setDirectory(files::toQtPath(panelStartFolder(s)));
}

class QtColourBackend : public ColourPanel::Backend {
  public:
    explicit QtColourBackend(ColourPanel& panel) : panel_(panel) {}
    ~QtColourBackend() override { delete dialog_; }

    void show(const Colour& colour, bool showsAlpha) override {
        ensure();
        dialog_->setOption(QColorDialog::ShowAlphaChannel, showsAlpha);
        setColour(colour);
        dialog_->show();
        dialog_->raise();
        dialog_->activateWindow();
    }
    void setColour(const Colour& colour) override {
        if (!dialog_)
            return;
        // Setting the colour from code must not reach the target.
        quiet_ = true;
        dialog_->setCurrentColor(colour.toQColor());
        quiet_ = false;
    }
    void close(bool) override {
        if (dialog_)
            dialog_->hide();
    }
    bool isVisible() const override { return dialog_ && dialog_->isVisible(); }

  private:
    void ensure() {
        if (dialog_)
            return;
        dialog_ = new QColorDialog();
        dialog_->setOption(QColorDialog::NoButtons, true);
        dialog_->setOption(QColorDialog::DontUseNativeDialog, true);
        dialog_->setWindowTitle("Colours");
        QObject::connect(dialog_, &QColorDialog::currentColorChanged, [this](const QColor& c) {
            if (!quiet_)
                panel_.userPickedColour(Colour::fromQColor(c));
        });
    }
    ColourPanel& panel_;
    QPointer<QColorDialog> dialog_;
    bool quiet_ = false;
};

} // namespace

fs::path panelStartFolder(const FilePanelSettings& settings) {
    if (!settings.directory.empty())
        return settings.directory;
    std::error_code error;
    if (!lastChosenFolder().empty() && fs::is_directory(lastChosenFolder(), error))
        return lastChosenFolder();
    return files::fromQtPath(QDir::homePath());
}

QtOpenDialog::QtOpenDialog(OpenPanel& panel, QWidget* parent) : QFileDialog(parent), panel_(panel) {
    applyCommon(*this, panel.settings);
    setAcceptMode(QFileDialog::AcceptOpen);
    if (panel.settings.canChooseDirectories && !panel.settings.canChooseFiles)
        setFileMode(QFileDialog::Directory);
    else
        setFileMode(panel.settings.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                           : QFileDialog::ExistingFile);
    // A double click on a package enters it; take it as the choice instead.
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& dir) { takePackage(dir); });
}

bool QtOpenDialog::takePackage(const QString& path) {
    const fs::path p = files::fromQtPath(path);
    if (!isDocumentPackage(p) || !panel_.canChoose(p))
        return false;
    chosen_ = {fs::absolute(p).lexically_normal()};
    rememberChoice(chosen_.front());
    QDialog::done(QDialog::Accepted);
    return true;
}

void QtOpenDialog::accept() {
    const QStringList files = selectedFiles();
    if (files.size() == 1 && takePackage(files.first()))
        return;
    std::vector<fs::path> paths;
    for (const QString& f : files)
        paths.push_back(files::fromQtPath(f));
    // Folders that are not choosable are entered, as the dialog normally does.
    if (paths.size() == 1 && panel_.canNavigateInto(paths.front()) && !panel_.canChoose(paths.front())) {
        setDirectory(files::toQtPath(paths.front()));
        return;
    }
    for (const auto& p : paths)
        if (!panel_.canChoose(p))
            return;
    chosen_ = paths;
    if (!paths.empty())
        rememberChoice(fs::absolute(paths.front()).lexically_normal());
    QDialog::done(QDialog::Accepted);
}

namespace {

// A warning box with the question's two buttons, and a third that changes nothing when
// `cancelButton` is given. Escape or the title bar's close keeps to the safe answer: that third
// button, or else the default one.
QuestionChoice askInMessageBox(const Question& question, const std::string* cancelButton) {
    QMessageBox box(QApplication::activeWindow());
    box.setIcon(QMessageBox::Warning);
    box.setText(QString::fromStdString(question.message));
    box.setInformativeText(QString::fromStdString(question.informativeText));
    auto* first = box.addButton(QString::fromStdString(question.defaultButton), QMessageBox::AcceptRole);
    auto* second = box.addButton(QString::fromStdString(question.otherButton), QMessageBox::DestructiveRole);
    QAbstractButton* cancel =
        cancelButton ? box.addButton(QString::fromStdString(*cancelButton), QMessageBox::RejectRole)
                     : nullptr;
    box.setDefaultButton(first);
    box.setEscapeButton(cancel ? cancel : first);
    box.exec();
    if (box.clickedButton() == static_cast<QAbstractButton*>(second))
        return QuestionChoice::otherButton;
    if (cancel && box.clickedButton() != static_cast<QAbstractButton*>(first))
        return QuestionChoice::cancel;
    return QuestionChoice::defaultButton;
}

// The work runs on its own thread while this one turns the event loop: the windows draw and
// timers fire, but input waits until the work is done (Qt keeps it), so no command starts while
// the work reads the folder. A plain window shows the progress: a modal progress dialog would
// take input in while it updates.
void runShowingProgress(const std::string& title, WorkProgress& progress, const std::function<void()>& work) {
    QEventLoop loop;
    std::thread worker([&] {
        work();
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    std::unique_ptr<QDialog> window;
    QLabel* label = nullptr;
    QProgressBar* bar = nullptr;
    const auto update = [&] {
        if (!window)
            return;
        const std::uint64_t total = progress.total.load();
        const std::uint64_t done = std::min(progress.done.load(), total);
        const QLocale locale;
        label->setText(QString::fromStdString(title) + "\n" +
                       QString("%1 of %2")
                           .arg(locale.formattedDataSize(qint64(done), 1, QLocale::DataSizeSIFormat),
                                locale.formattedDataSize(qint64(total), 1, QLocale::DataSizeSIFormat)));
        bar->setValue(total ? int(done * 1000 / total) : 0);
    };
    QTimer appear;
    appear.setSingleShot(true);
    QObject::connect(&appear, &QTimer::timeout, [&] {
        window = std::make_unique<QDialog>(QApplication::activeWindow());
        window->setWindowTitle("QRN");
        auto* layout = new QVBoxLayout(window.get());
        label = new QLabel(window.get());
        bar = new QProgressBar(window.get());
        bar->setRange(0, 1000);
        bar->setTextVisible(false);
        bar->setMinimumWidth(320);
        layout->addWidget(label);
        layout->addWidget(bar);
        update();
        window->show();
    });
    appear.start(500);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, update);
    tick.start(100);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

} // namespace

void installQtDialogs() {
    setProgressRunner(runShowingProgress);
    setAlertPresenter([](const std::string& message) {
        QMessageBox box(QApplication::activeWindow());
        box.setText(QString::fromStdString(message));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    });
    setQuestionPresenter([](const Question& question) {
        return askInMessageBox(question, nullptr) != QuestionChoice::otherButton;
    });
    setChoicePresenter([](const Question& question, const std::string& cancelButton) {
        return askInMessageBox(question, &cancelButton);
    });
    setOpenPanelPresenter([](OpenPanel& panel) {
        QtOpenDialog dialog(panel, QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted)
            return ModalResponse::cancel;
        return panel.choose(dialog.chosen()) ? ModalResponse::ok : ModalResponse::cancel;
    });
    setSavePanelPresenter([](SavePanel& panel) {
        QFileDialog dialog(QApplication::activeWindow());
        applyCommon(dialog, panel.settings);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The package's extension is added after the dialog; the panel asks its own question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        if (!panel.settings.nameFieldValue.empty())
            dialog.selectFile(files::toQtPath(panel.settings.nameFieldValue));
        if (!panel.settings.nameFieldLabel.empty())
            dialog.setLabelText(QFileDialog::FileName, QString::fromStdString(panel.settings.nameFieldLabel));
        // The widget dialog's read-only mode is what takes its new-folder button away.
        dialog.setOption(QFileDialog::ReadOnly, !panel.settings.canCreateDirectories);
        // The dialog would ask about the name as typed; the panel adds the extension, so the
        // question is asked here about the file that would really be replaced.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            // With the type's extension added, the name may be one already there whose bytes Qt
            // cannot show (the open package itself, say).
            if (!panel.choose(files::fromQtPath(dialog.selectedFiles().first())) ||
                !panel.choose(files::fromQtPath(files::toQtPath(*panel.url()))))
                return ModalResponse::cancel;
            const fs::path chosen = *panel.url();
            rememberChoice(chosen);
            if (!fs::exists(chosen))
                return ModalResponse::ok;
            const auto answer =
                QMessageBox::question(&dialog, dialog.windowTitle(),
                                      QString("\u201C%1\u201D already exists. Do you want to replace it?")
                                          .arg(files::toQtPath(chosen.filename())),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer == QMessageBox::Yes) {
                panel.confirmReplace();
                return ModalResponse::ok;
            }
        }
        return ModalResponse::cancel;
    });
    setReplaceQuestionPresenter([](const std::filesystem::path& path) {
        QMessageBox box(QApplication::activeWindow());
        box.setIcon(QMessageBox::Warning);
        box.setText(QString::fromStdString("\"" + path.filename().string() +
                                           "\" already exists. Do you want to replace it?"));
        box.setInformativeText("Replacing it will overwrite its current contents.");
        auto* replace = box.addButton("Replace", QMessageBox::DestructiveRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        return box.clickedButton() == static_cast<QAbstractButton*>(replace);
    });
    ColourPanel::setBackendFactory(
        [](ColourPanel& panel) { return std::make_unique<QtColourBackend>(panel); });
    // The native editors and pop-up lists of the controls come with the dialogs, so that one
    // call at start-up sets up every native piece the controls need.
    qt::installQtControls();
}

} // namespace qrn
