// A camera filter switched in the studio's camera settings shows on the studio's camera picture
// at once, not only after the studio is opened again.
#include <gtest/gtest.h>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "app/studio/studio_fixture.h"
#include "platform/ui/view.h"

using namespace studiotest;

TEST_F(StudioTest, ACameraFilterSwitchedInTheStudioShowsOnItsCameraPicture) {
    ASSERT_TRUE(createProject());
    filterClass().setVideoFilter({false, false, false});
    ASSERT_TRUE(openStudio());
    const auto video = recordViewClass().getVideoView();
    ASSERT_TRUE(video && video->layer());
    ASSERT_TRUE(video->layer()->contentFilters().empty());

    editViewClass().applyFilter(true, 1, filterValuesEntry{qrn::Value()}, true, false);
    EXPECT_EQ(video->layer()->contentFilters().size(), 1u) << "the blur switched on is not shown";
    editViewClass().applyFilter(false, 1, filterValuesEntry{qrn::Value()}, true, false);
    EXPECT_TRUE(video->layer()->contentFilters().empty()) << "the blur switched off is still shown";
}
