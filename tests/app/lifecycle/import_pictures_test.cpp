#include <gtest/gtest.h>

#include <fstream>

#include "app/model/model_fixture.h"
#include "lifecycle_fixture.h"

using namespace lifecycletest;
using qrn::Json;

// The pictures are read ahead on several threads; each layer still gets its own, in order, and
// a picture that cannot be read is handled by the layer as before.
TEST_F(LifecycleTest, ManyDistinctPicturesEachComeBackOnTheirOwnLayerAndUnreadableOnesStayMissing) {
    ASSERT_TRUE(createProject());
    Json d = projectDocument({"0", "9"}, {{"1", "2", "3", "4"}, {"10", "11", "12", "13", "14", "15"}});
    std::vector<std::pair<size_t, size_t>> places{{0, 0}, {0, 1}, {0, 2}, {0, 3},
                                                  {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    for (size_t k = 0; k < places.size(); ++k)
        setReference(d, places[k].first, places[k].second, {3, "png", "p" + std::to_string(k)});
    setReference(d, 1, 4, {3, "png", "broken"});
    setReference(d, 1, 5, {3, "png", "absent"});
    const std::string path = writePackage("Distinct", d);
    std::vector<unsigned> expected;
    for (size_t k = 0; k < places.size(); ++k) {
        const unsigned colour = 0x101010u * unsigned(k + 1);
        modeltest::writePng(path + "/images/p" + std::to_string(k) + ".png", 20, 20, colour);
        expected.push_back(colour);
    }
    std::ofstream(path + "/images/broken.png") << "not a picture";
    openWithMenu(path);
    ASSERT_TRUE(alerts.empty());
    const std::vector<unsigned> shown = shownLayerColours();
    ASSERT_EQ(shown.size(), 10u);
    EXPECT_EQ(std::vector<unsigned>(shown.begin(), shown.begin() + 8), expected);
    // Both unreadable layers show the same stand-in, which is none of the pictures.
    EXPECT_EQ(shown[8], shown[9]);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), shown[8]), 0);
    previewLayerClass model;
    EXPECT_EQ(model.getImageReferenceArray()[1][4], (imageReferenceArray{3, "png", "broken"}));
}
