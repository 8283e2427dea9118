// A project written while the preview had another size (the studio's larger picture, a bigger
// window) opens with the camera picture fitted to this preview, as its layers are, instead of
// spilling over the editing screen at the size it was stored in.
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "app/lifecycle/lifecycle_fixture.h"
#include "platform/ui/view.h"

using namespace lifecycletest;

TEST_F(LifecycleTest, TheCameraPictureStoredForALargerPreviewOpensFittedAsItsLayersAre) {
    ASSERT_TRUE(createProject());
    qrn::Json document = projectDocument({"0", "2"}, {{}, {"1"}});
    // Saved in a 992 x 558 preview: the camera in its right half, the layer at its left edge.
    document["MAIN_PREVIEW_VIEW_RECT_ARRAY"] = {0, 0, 992, 558};
    document["VIDEO_ORIGIN_SIZE_ARRAY"] = {496, 0, 496, 279};
    document["LAYER_ORIGIN_SIZE_ARRAY"][1][0] = {0, 0, 248, 279};
    openWithMenu(writePackage("Studio", document));

    previewLayerClass model;
    const auto configuration = model.getConfiguration();
    ASSERT_TRUE(configuration && configuration->parentPreviewView);
    const qrn::Size preview = configuration->parentPreviewView->bounds().size;
    ASSERT_GT(preview.width, 0);
    ASSERT_NE(preview.width, 992);
    ASSERT_EQ(model.getLayerOriginSizeArray()[1][0].size(), 4u);
    EXPECT_NEAR(model.getLayerOriginSizeArray()[1][0][2], preview.width / 4, 0.5);
    const auto camera = model.getVideoOriginSizeArray();
    ASSERT_EQ(camera.size(), 4u);
    EXPECT_NEAR(camera[0], preview.width / 2, 0.5);
    EXPECT_NEAR(camera[1], 0, 0.5);
    EXPECT_NEAR(camera[2], preview.width / 2, 0.5);
    EXPECT_NEAR(camera[3], preview.height / 2, 0.5);
    // The camera view shows where the model says.
    const auto drawn = model.getVideoLayerView()->layer()->frame();
    EXPECT_NEAR(drawn.origin.x, camera[0], 0.5);
    EXPECT_NEAR(drawn.size.width, camera[2], 0.5);
    EXPECT_NEAR(drawn.size.height, camera[3], 0.5);
}
