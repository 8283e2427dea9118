// The chroma key talking to the application's real colour panel through the filters' seam.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>

#include "Filters/ChromaKey/RGB/chromaKeyRgbClass.h"
#include "filters_test_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/ui/panels.h"

using qrn::Value;

namespace {

// Stands for the chroma key panel's controller: the colour panel's changes go to the key.
class keyPanelController : public colourChangeTarget {
  public:
    int changes = 0;
    void changeColor(const qrn::Colour& colour) override {
        ++changes;
        chromaKeyRgbClass().sliderChanged(colour, true);
    }
};

class SharedColourPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        setFilterEditingHost(host);
        host->videoValues = {filterValuesEntry{Value()}, filterValuesEntry{Value()},
                             filterValuesEntry{Value()}};
        chromaKeyRgbClass().setPanelOutlets(swatch, slider);
        slider->current = 10;
        setSharedColourPanel(makeSharedColourPanelAdapter());
    }
    void TearDown() override { setSharedColourPanel(nullptr); }
    void openFor(const std::any& responder) {
        chromaKeyRgbClass panel;
        panel.setColourChangeResponder(responder);
        panel.openColourPanel();
    }
    std::shared_ptr<fakeEditingHost> host = std::make_shared<fakeEditingHost>();
    std::shared_ptr<fakeSwatch> swatch = std::make_shared<fakeSwatch>();
    std::shared_ptr<fakeSlider> slider = std::make_shared<fakeSlider>();
    std::shared_ptr<keyPanelController> controller = std::make_shared<keyPanelController>();
};

} // namespace

TEST_F(SharedColourPanel, OpensOnTheKeyAndSendsThePickedColourToTheChromaKey) {
    host->videoSelected = true;
    host->videoValues[0] = filterValuesEntry{Value::colour(0, 0, 255, 1), Value(7.0), Value(0), Value(0)};
    openFor(std::shared_ptr<colourChangeTarget>(controller));
    qrn::ColourPanel& panel = qrn::ColourPanel::shared();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.colour(), (qrn::Colour{0, 0, 1, 1}));
    EXPECT_FALSE(panel.showsAlpha());
    EXPECT_EQ(panel.target(), controller.get());
    // Opening is not a pick.
    EXPECT_EQ(controller->changes, 0);

    panel.setColour({0, 1, 0, 1}); // from code: no action
    EXPECT_EQ(controller->changes, 0);
    panel.userPickedColour({1, 0, 0, 0.5}); // the user: the action, without alpha
    EXPECT_EQ(controller->changes, 1);
    EXPECT_EQ(swatch->background, (qrn::Colour{1, 0, 0, 1}));
    qrn::MainQueue::advance(0.05);
    ASSERT_EQ(host->applied.size(), 1u);
    EXPECT_TRUE(host->applied[0].video);
    EXPECT_EQ(host->applied[0].values,
              (filterValuesEntry{Value::colour(255, 0, 0, 1), Value(10.0), Value(0), Value(0)}));
}

TEST_F(SharedColourPanel, OnlyTheLatestLiveTargetHearsOfChanges) {
    auto earlier = std::make_shared<keyPanelController>();
    openFor(std::weak_ptr<colourChangeTarget>(earlier));
    openFor(std::weak_ptr<colourChangeTarget>(controller));
    qrn::ColourPanel::shared().userPickedColour({0, 0, 1, 1});
    EXPECT_EQ(earlier->changes, 0);
    EXPECT_EQ(controller->changes, 1);

    // A target that went away, or one that cannot take the action, gets nothing.
    controller.reset();
    qrn::ColourPanel::shared().userPickedColour({1, 0, 0, 1});
    openFor(std::string("not a target"));
    EXPECT_EQ(qrn::ColourPanel::shared().target(), nullptr);
    qrn::ColourPanel::shared().userPickedColour({1, 0, 0, 1});
    EXPECT_EQ(earlier->changes, 0);
    qrn::MainQueue::advance(1);
    ASSERT_EQ(host->applied.size(), 1u);
    EXPECT_EQ(host->applied[0].values[0], Value::colour(0, 0, 255, 1));
}

TEST_F(SharedColourPanel, APickInTheQtDialogReachesTheChromaKey) {
    if (qrn::ColourPanel::sharedExists())
        GTEST_SKIP() << "the panel was made without its dialog earlier in this process";
    qrn::installQtDialogs();
    openFor(std::shared_ptr<colourChangeTarget>(controller));
    QColorDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QColorDialog*>(w); d && d->isVisible())
            dialog = d;
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->currentColor(), QColor::fromRgbF(32.0f / 255, 1, 0));
    EXPECT_FALSE(dialog->testOption(QColorDialog::ShowAlphaChannel));
    dialog->setCurrentColor(QColor(255, 0, 0)); // as the user's pick arrives
    EXPECT_EQ(controller->changes, 1);
    EXPECT_EQ(swatch->background, (qrn::Colour{1, 0, 0, 1}));
    qrn::MainQueue::advance(0.05);
    ASSERT_EQ(host->applied.size(), 1u);
    EXPECT_EQ(host->applied[0].values[0], Value::colour(255, 0, 0, 1));
    qrn::ColourPanel::shared().close();
}
