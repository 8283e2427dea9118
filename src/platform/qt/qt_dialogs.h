#pragma once
// Qt dialogs behind the panel interfaces: the modal alert, the open and save panels and the
// shared colour panel.
#include <QFileDialog>

#include <filesystem>
#include <optional>

namespace qrn {

class OpenPanel;
class SavePanel;
struct FilePanelSettings;

// Installs the alert presenter, the open and save panel presenters, the colour dialog and the
// controls' native editors (qt_controls.h).
void installQtDialogs();

// Where a file dialog opens: the panel's own folder; else the folder of the last choice made in
// any panel, while it exists; else the home folder (never the folder QRN was started from).
std::filesystem::path panelStartFolder(const FilePanelSettings& settings);

// A file dialog that shows project packages as single documents: choosing one (by its Open
// button or a double click) chooses the folder instead of entering it.
class QtOpenDialog : public QFileDialog {
    Q_OBJECT
  public:
    explicit QtOpenDialog(OpenPanel& panel, QWidget* parent = nullptr);
    // The chosen entries (after the dialog was accepted).
    std::vector<std::filesystem::path> chosen() const { return chosen_; }

  public slots:
    void accept() override;

  private:
    bool takePackage(const QString& path);
    OpenPanel& panel_;
    std::vector<std::filesystem::path> chosen_;
};

} // namespace qrn
