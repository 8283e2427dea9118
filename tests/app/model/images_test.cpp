#include <gtest/gtest.h>

#include <QDir>

#include "Controller/Global/imageManipulationClass.h"
#include "model_fixture.h"
#include "platform/foundation/alerts.h"
#include "platform/foundation/files.h"

using namespace modeltest;

namespace {

struct imageProject : tempProject {
    previewLayerClass model;
    imageManipulationClass images;
    std::string drops;

    imageProject() {
        model.clearClass(false);
        filterClass().clearClass();
        images.clearPermanentlyRemoveImageArray();
        addAsset();
        drops = dir.path().toStdString() + "/drops/";
        (void)qrn::files::createDirectories(drops);
    }

    // A dropped file becoming a new layer of the selected asset.
    bool drop(const std::string& fileName) {
        const auto dot = fileName.find_last_of('.');
        addLayer({3, fileName.substr(dot + 1)});
        return images.saveImage(std::nullopt, nullptr, drops + fileName, false);
    }
    imageReferenceArray reference(int layer) { return model.getImageReferenceArray()[1][size_t(layer)]; }
    QStringList stored() { return QDir(QString::fromStdString(file("images"))).entryList(QDir::Files); }
    layerAssetIndexAndVideoSelectedArray layerAt(int l) { return {false, 1, l}; }
    void removeFromModel(int l) {
        auto refs = model.getImageReferenceArray();
        refs[1].erase(refs[1].begin() + l);
        model.setEntireImageReferenceArray(refs);
    }
};

} // namespace

TEST(ProjectImageFiles, EqualBytesAreSharedOtherFilesAreStoredApart) {
    imageProject p;
    writePng(p.drops + "red.png", 20, 20, 0xff0000);
    ASSERT_TRUE(qrn::files::copyFile(p.drops + "red.png", p.drops + "red-copy.png"));
    ASSERT_TRUE(qrn::files::copyFile(p.drops + "red.png", p.drops + "upper.PNG"));
    // Same length, different bytes.
    std::string bytes = *qrn::files::readText(p.drops + "red.png");
    bytes[bytes.size() / 2] ^= 0x55;
    ASSERT_TRUE(qrn::files::replaceAtomically(p.drops + "twin.png", bytes));

    ASSERT_TRUE(p.drop("red.png"));
    ASSERT_TRUE(p.drop("red-copy.png"));
    EXPECT_EQ(p.stored().size(), 1);
    ASSERT_EQ(p.reference(0).size(), 3u);
    EXPECT_EQ(p.reference(0), p.reference(1));
    const std::string name = p.reference(0)[2].toString();
    EXPECT_EQ(name.size(), 36u);
    EXPECT_EQ(name, QString::fromStdString(name).toUpper().toStdString());

    ASSERT_TRUE(p.drop("twin.png"));
    EXPECT_EQ(p.stored().size(), 2);
    ASSERT_TRUE(p.drop("upper.PNG"));
    EXPECT_EQ(p.stored().size(), 3);
    EXPECT_EQ(p.reference(3)[1].toString(), "PNG");
}

TEST(ProjectImageFiles, AFileWithoutExtensionReusesAnEqualFileUnderItsStoredName) {
    imageProject p;
    writePng(p.drops + "photo.jpeg", 6, 6, 0x336699);
    ASSERT_TRUE(qrn::files::copyFile(p.drops + "photo.jpeg", p.drops + "photo"));
    ASSERT_TRUE(p.drop("photo.jpeg"));
    // The picture's format names it "jpg"; the file itself has no extension to compare.
    addLayer({3, "jpg"});
    ASSERT_TRUE(p.images.saveImage(std::nullopt, nullptr, p.drops + "photo", false));
    EXPECT_EQ(p.stored().size(), 1);
    EXPECT_EQ(p.reference(1), p.reference(0));
    EXPECT_NO_THROW(p.model.getImageFromImageReferenceArray(p.reference(1)));
}

TEST(ProjectImageFiles, MarkedFilesArePurgedOnlyWhenNoLayerNamesThem) {
    imageProject p;
    writePng(p.drops + "a.png", 10, 10, 0x123456);
    ASSERT_TRUE(p.drop("a.png"));
    ASSERT_TRUE(p.drop("a.png"));
    const std::string storedFile = p.file("images/" + p.stored().front().toStdString());

    // Still used by the other layer: nothing is marked.
    p.images.softDeleteImage(p.layerAt(0));
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());
    p.removeFromModel(0);

    p.images.softDeleteImage(p.layerAt(0));
    p.images.markImageForPermanentRemoval(p.reference(0)[2].toString(), "png");
    ASSERT_EQ(p.images.getPermanentlyRemoveImageArray().size(), 1u);
    // The layer is still in the model (undo may bring a removal back): the purge keeps its file.
    p.images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_TRUE(qrn::files::exists(storedFile));
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());

    p.images.softDeleteImage(p.layerAt(0));
    p.images.markedImageNeedsToBeKept(p.layerAt(0));
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());

    // Re-adding a layer that names the file takes the mark away.
    p.images.softDeleteImage(p.layerAt(0));
    layerDataClass record;
    record.assetIndex = 1;
    record.layerIndex = 0;
    record.fillObjectWithData();
    record.layerIndex = 1;
    record.fillArraysWithObjectData();
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());

    p.removeFromModel(0);
    p.images.softDeleteImage(p.layerAt(0));
    p.removeFromModel(0);
    // Saved as the editor saves a removal: the project on disk no longer names the file either.
    persistentDataStorageClass().exportData(false);
    p.images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_FALSE(qrn::files::exists(storedFile));
}

TEST(ProjectImageFiles, ReplacingAnImageKeepsTheRowLength) {
    imageProject p;
    writePng(p.drops + "a.png", 10, 10, 0x111111);
    writePng(p.drops + "b.jpg", 12, 12, 0x222222);
    ASSERT_TRUE(p.drop("a.png"));
    const std::string oldName = p.reference(0)[2].toString();

    p.images.softDeleteImage(p.layerAt(0));
    p.model.setImageReferenceArray(3, std::nullopt, "jpg");
    ASSERT_TRUE(p.images.saveImage(p.layerAt(0), nullptr, p.drops + "b.jpg", true));
    ASSERT_EQ(p.model.getImageReferenceArray()[1].size(), 1u);
    EXPECT_EQ(p.reference(0)[1].toString(), "jpg");
    EXPECT_NE(p.reference(0)[2].toString(), oldName);
    EXPECT_EQ(p.images.getPermanentlyRemoveImageArray(),
              (std::vector<std::vector<std::string>>{{oldName, "png"}}));
}

TEST(ProjectImageFiles, FailedCopiesLeaveNoDanglingReference) {
    imageProject p;
    EXPECT_FALSE(p.drop("missing.png"));
    EXPECT_EQ(p.reference(0), (imageReferenceArray{3, "png"}));
    EXPECT_TRUE(p.stored().empty());

    writePng(p.drops + "a.png", 10, 10, 0x111111);
    ASSERT_TRUE(p.drop("a.png"));
    const auto before = p.reference(1);
    p.images.softDeleteImage(p.layerAt(1));
    p.model.setSelectedLayer(std::nullopt);
    p.model.setImageReferenceArray(3, std::nullopt, "png");
    EXPECT_FALSE(p.images.saveImage(p.layerAt(1), nullptr, p.drops + "gone.png", true));
    EXPECT_EQ(p.model.getImageReferenceArray()[1].size(), 2u);
    EXPECT_EQ(p.reference(1), before);
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());

    // Without a project folder nothing is stored anywhere.
    persistentDataStorageClass().setProjectDirectory("");
    EXPECT_FALSE(p.drop("a.png"));
    EXPECT_EQ(p.reference(2), (imageReferenceArray{3, "png"}));
}

// A dropped picture that is not stored would be gone at the next open, though its layer shows it:
// the presenter is told. A package copied without its images folder simply gets one.
TEST(ProjectImageFiles, APictureThatCannotBeStoredIsSaidAndAMissingImagesFolderIsMade) {
    imageProject p;
    std::vector<std::string> alerts;
    qrn::setAlertPresenter([&](const std::string& m) { alerts.push_back(m); });
    writePng(p.drops + "a.png", 10, 10, 0x111111);
    ASSERT_TRUE(qrn::files::remove(p.file("images")));
    ASSERT_TRUE(p.drop("a.png"));
    EXPECT_EQ(p.stored().size(), 1);
    EXPECT_TRUE(alerts.empty());

    EXPECT_FALSE(p.drop("gone.png"));
    qrn::setAlertPresenter(nullptr);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].rfind("The picture \"gone.png\" could not be stored in the project: ", 0), 0u)
        << alerts[0];
    EXPECT_NE(alerts[0].find("It will be missing when the project is opened again"), std::string::npos);
}

TEST(ProjectImageFiles, HostileNamesAreNeverTouched) {
    imageProject p;
    writePng(p.file("victim.png"), 4, 4, 0xffffff);
    p.images.markImageForPermanentRemoval("../victim", "png");
    p.images.markImageForPermanentRemoval("..", "png");
    p.images.markImageForPermanentRemoval("x", "png/../../victim");
    EXPECT_TRUE(p.images.getPermanentlyRemoveImageArray().empty());

    addLayer({3, "png", "../victim"});
    EXPECT_FALSE(p.images.retrieveLayerInformation(p.layerAt(0)));
    p.images.softDeleteImage(p.layerAt(0));
    p.images.permanentlyRemoveImagesMarkedForRemoval();
    EXPECT_TRUE(qrn::files::exists(p.file("victim.png")));

    p.images.markImageForPermanentRemoval("x", "png");
    p.images.markImageForPermanentRemoval("x", "png");
    EXPECT_EQ(p.images.getPermanentlyRemoveImageArray().size(), 1u);
}
