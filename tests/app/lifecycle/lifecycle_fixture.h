#pragma once
// The editing screen with the real import: projects made on screen, written, opened again
// through the File menu, and packages written by hand for the import to refuse or accept.
#include <map>
#include <string>
#include <vector>

#include "View/Editing/viewLoaderController.h"
#include "app/shell/shell_fixture.h"
#include "platform/foundation/json.h"

namespace lifecycletest {

class LifecycleTest : public shelltest::EditingShellTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string packagePath(const std::string& name) const;
    // Creates "<name>.qrn3ks" from the landing screen and lets the editing screen settle.
    viewLoaderController* createProject(const std::string& name = "Demo");
    viewLoaderController* editor();
    // File > Open of that package from whatever screen shows, settled; with waitForPictures,
    // once every layer's picture has arrived and the write after the open has been settled too
    // (both come from other threads).
    void openWithMenu(const std::string& path, bool waitForPictures = true);
    // Pumps the main queue until every picture of the opened project has arrived.
    static void waitForPictures();
    // projectData.json as written now.
    qrn::Json writeAndRead();

    // A package holding the document as projectData.json and an images folder.
    std::string writePackage(const std::string& name, const qrn::Json& document);
    // Every file of a package with its bytes.
    static std::map<std::string, std::string> filesOf(const std::string& path);
    // Files opened for writing fail as on a read-only disk: every one, or only those in the
    // folder named `folder`.
    static void refuseWrites(const std::string& folder = "");
};

// A consistent document: assets with the given layer ids, every layer a bundle image, filter
// rows for three filters. Tests change single keys from here.
qrn::Json projectDocument(const std::vector<std::string>& assets,
                          const std::vector<std::vector<std::string>>& layers);
// Sets one layer's reference in a document.
void setReference(qrn::Json& document, size_t asset, size_t layer, const qrn::Json& reference);

// The colour at (2, 2) of each layer's picture in the preview, in LAYER_ARRAY order; 0 for none.
std::vector<unsigned> shownLayerColours();

// Recursive equality with numbers compared to 1e-6.
bool nearlyEqual(const qrn::Json& a, const qrn::Json& b, std::string* where = nullptr);

} // namespace lifecycletest
