#include <gtest/gtest.h>

#include <filesystem>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Model/undoRedoClass.h"
#include "app/model/model_fixture.h"
#include "lifecycle_fixture.h"

using namespace lifecycletest;

namespace {

// The position of the layer whose picture is the stored file `name`.
std::optional<layerAssetIndexAndVideoSelectedArray> layerNaming(const std::string& name) {
    const auto rows = previewLayerClass().getImageReferenceArray();
    for (size_t a = 0; a < rows.size(); ++a)
        for (size_t l = 0; l < rows[a].size(); ++l)
            if (rows[a][l].size() >= 3 && rows[a][l][2].isString() && rows[a][l][2].toString() == name)
                return layerAssetIndexAndVideoSelectedArray{false, int(a), int(l)};
    return std::nullopt;
}

} // namespace

// Undo keeps a removed layer's file while the application runs; quitting ends the history, so
// the file goes then. Files that layers still show stay, shared or not.
TEST_F(LifecycleTest, QuittingDeletesTheFilesOfRemovedLayersThatOnlyTheUndoHistoryNamed) {
    ASSERT_TRUE(createProject());
    qrn::Json d = projectDocument({"0", "9"}, {{}, {"1", "2", "3", "4"}});
    setReference(d, 1, 0, {3, "png", "GONE"});
    setReference(d, 1, 1, {3, "png", "SHOWN"});
    setReference(d, 1, 2, {3, "png", "SHARED"});
    setReference(d, 1, 3, {3, "png", "SHARED"});
    const std::string path = writePackage("Quit", d);
    modeltest::writePng(path + "/images/GONE.png", 20, 20, 0xcc2020);
    modeltest::writePng(path + "/images/SHOWN.png", 30, 30, 0x20cc20);
    modeltest::writePng(path + "/images/SHARED.png", 40, 40, 0x2020cc);
    openWithMenu(path);

    // Removed as the tile's menu removes it: an undo entry keeps the layer and names its file.
    auto gone = layerNaming("GONE");
    ASSERT_TRUE(gone);
    previewLayerClass().removeLayer(gone, false);
    auto shared = layerNaming("SHARED");
    ASSERT_TRUE(shared);
    previewLayerClass().removeLayer(shared, false);
    ASSERT_FALSE(layerNaming("GONE"));
    ASSERT_TRUE(layerNaming("SHARED"));
    ASSERT_EQ(undoRedoClass::getUndoList().size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(path + "/images/GONE.png"));

    delegate.applicationWillTerminate();
    EXPECT_FALSE(std::filesystem::exists(path + "/images/GONE.png"));
    EXPECT_TRUE(std::filesystem::exists(path + "/images/SHOWN.png"));
    EXPECT_TRUE(std::filesystem::exists(path + "/images/SHARED.png"));
}
