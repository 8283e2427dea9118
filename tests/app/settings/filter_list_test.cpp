#include <gtest/gtest.h>

#include <QPainter>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Filters/filterPanelControllers.h"
#include "Filters/filterServices.h"
#include "Model/globalAppSettingsClass.h"
#include "View/Global/svgIconView.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scene_registry.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "settings_fixture.h"

using namespace settingstest;

namespace {

struct recordingHost : filterEditingHost {
    struct call {
        bool display;
        int index;
        filterValuesEntry values;
        bool video;
        bool exportData;
    };
    std::vector<call> calls;
    void applyFilter(bool display, int index, const filterValuesEntry& values, bool video,
                     bool exportData) override {
        calls.push_back({display, index, values, video, exportData});
    }
    filterValuesArray getLayerFilterValues(bool) override { return filterValuesArray(3); }
    bool isVideoLayerSelected() override { return false; }
    bool isLayerSelected() override { return true; }
};

class FilterList : public SettingsPanelTest {
  protected:
    void SetUp() override {
        SettingsPanelTest::SetUp();
        settingsViewClass::registerScenes();
        setFilterEditingHost(host);
        mainView = qrn::ui::View::make(qrn::Rect(0, 0, 404, 500));
    }
    std::shared_ptr<recordingHost> host = std::make_shared<recordingHost>();
    std::shared_ptr<qrn::ui::View> mainView;

    static std::vector<std::shared_ptr<qrn::ui::View>>
    rows(const std::shared_ptr<qrn::ui::ScrollView>& list) {
        return list->documentView() ? list->documentView()->subviews()
                                    : std::vector<std::shared_ptr<qrn::ui::View>>{};
    }
    static std::string checkboxOf(const qrn::ui::View& row) {
        for (const auto& subview : row.subviews())
            if (std::dynamic_pointer_cast<svgIconView>(subview))
                return std::static_pointer_cast<qrn::ui::ImageView>(subview->subviews().front())->imageName();
        return "";
    }
    static std::vector<double> tops(const std::shared_ptr<qrn::ui::ScrollView>& list) {
        std::vector<double> out;
        for (const auto& row : rows(list))
            out.push_back(row->frame().origin.y);
        return out;
    }
    static double panelHeight(const std::string& name) {
        return qrn::ui::SceneRegistry::instantiateViewController(name)->view()->frame().height();
    }
};

} // namespace

TEST_F(FilterList, RowsOpenAndCloseWithTheirFilterAndMoveTheRowsBelow) {
    filterClass().setVideoFilter({false, false, false});
    auto list = filterOrderedListClass().constructOrderedList(mainView, true);
    EXPECT_EQ(list->identifier(), "true");
    EXPECT_EQ(list->frame(), qrn::Rect(0, 0, 404, 500));
    ASSERT_EQ(rows(list).size(), 3u);
    EXPECT_EQ(tops(list), (std::vector<double>{0, 50, 100}));
    EXPECT_EQ(list->documentView()->frame().height(), 150);
    for (const auto& row : rows(list)) {
        EXPECT_EQ(row->frame().height(), 50);
        EXPECT_EQ(checkboxOf(*row), "checkbox_disabled");
        EXPECT_EQ(row->subviews().back()->alphaValue(), 0.0);
        EXPECT_EQ(row->subviews()[2]->frame(), qrn::Rect(50, 0, 354, 50));
    }
    EXPECT_EQ(rows(list)[1]->subviews()[0]->tag(), -3);

    const double h = panelHeight("BoxBlur");
    ASSERT_GT(h, 0);
    auto middle = rows(list)[1];
    // A press on the click area switches the middle filter on.
    middle->subviews()[2]->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {100, 20}));
    EXPECT_EQ(middle->frame().height(), 50 + h);
    EXPECT_EQ(tops(list), (std::vector<double>{0, 50, 100 + h}));
    EXPECT_EQ(list->documentView()->frame().height(), 150 + h);
    EXPECT_EQ(checkboxOf(*middle), "checkbox_enabled");
    EXPECT_EQ(middle->subviews().back()->alphaValue(), 1.0);
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_TRUE(host->calls[0].display);
    EXPECT_EQ(host->calls[0].index, 1);
    EXPECT_EQ(host->calls[0].values, filterValuesEntry{qrn::Value()});
    EXPECT_TRUE(host->calls[0].video);
    EXPECT_TRUE(host->calls[0].exportData);

    filterOrderedListClass().applyFilter(middle, true);
    EXPECT_EQ(tops(list), (std::vector<double>{0, 50, 100}));
    EXPECT_EQ(list->documentView()->frame().height(), 150);
    EXPECT_EQ(checkboxOf(*middle), "checkbox_disabled");
    EXPECT_FALSE(host->calls.back().display);

    // The drag handle only notes the press.
    const auto before = tops(list);
    middle->subviews()[3]->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {10, 10}));
    EXPECT_EQ(tops(list), before);
    EXPECT_EQ(host->calls.size(), 2u);
}

TEST_F(FilterList, ShortFlagsAndABrokenOrderFromAFileStillGiveAListAndTheCameraGetsNoLayerRows) {
    ASSERT_TRUE(createProject());
    selectLayer(addImageLayer());
    previewLayerClass model;
    const size_t a = size_t(model.getSelectedAssetIndex()), l = size_t(model.getSelectedLayerIndex(false));
    filterClass filters;
    auto flags = filters.getLayerFilter();
    auto orders = filters.getLayerFilterOrder();
    flags[a][l] = {true};
    orders[a][l] = {2, 2, 7};
    filters.setLayerFilter(flags);
    filters.setLayerFilterOrder(orders);
    auto list = filterOrderedListClass().constructOrderedList(mainView, false);
    EXPECT_EQ(list->identifier(), "false");
    ASSERT_EQ(rows(list).size(), 3u);
    const double first = 50 + panelHeight("ChromaKeyRgb");
    EXPECT_EQ(tops(list), (std::vector<double>{0, first, first + 50}));
    EXPECT_EQ(checkboxOf(*rows(list)[0]), "checkbox_enabled");
    EXPECT_EQ(checkboxOf(*rows(list)[2]), "checkbox_disabled");

    model.selectVideoLayer();
    auto bare = filterOrderedListClass().constructOrderedList(mainView, false);
    EXPECT_TRUE(rows(bare).empty());
}

TEST_F(FilterList, PanelsKeepTheirTargetAndOnlyTheNewestKeyPanelTakesTheColour) {
    filterClass().setVideoFilter({true, true, false});
    auto videoList = filterOrderedListClass().constructOrderedList(mainView, true);
    auto* blur = dynamic_cast<boxBlurController*>(rows(videoList)[1]->subviews().back()->viewController());
    ASSERT_TRUE(blur);
    auto* olderKey =
        dynamic_cast<chromaKeyRgbController*>(rows(videoList)[0]->subviews().back()->viewController());
    ASSERT_TRUE(olderKey);
    // A list built for a layer afterwards does not change what the video's panels act on.
    filterClass().setFiltersForVideo(false);
    EXPECT_TRUE(blur->filterForVideo);
    blur->sliderView->setDoubleValue(12);
    blur->sliderValues();
    ASSERT_FALSE(host->calls.empty());
    EXPECT_TRUE(host->calls.back().video);

    auto secondList = filterOrderedListClass().constructOrderedList(mainView, true);
    auto* newerKey =
        dynamic_cast<chromaKeyRgbController*>(rows(secondList)[0]->subviews().back()->viewController());
    ASSERT_TRUE(newerKey);
    // The swatch opens the colour panel for the newest key panel.
    newerKey->colourPickerButton->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5}));
    host->calls.clear();
    olderKey->changeColor(qrn::Colour{1, 0, 0, 1});
    advance(0.2);
    EXPECT_TRUE(host->calls.empty());
    newerKey->changeColor(qrn::Colour{1, 0, 0, 1});
    advance(0.2);
    ASSERT_EQ(host->calls.size(), 1u);
    EXPECT_EQ(host->calls[0].index, 0);
    // Not while the screens are being switched.
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(true);
    newerKey->changeColor(qrn::Colour{0, 1, 0, 1});
    advance(0.2);
    EXPECT_EQ(host->calls.size(), 1u);
    globalAppSettingsClass().setJustMovedBetweenOrReloadedScreens(false);

    // The registry holds the newest panel of each filter, and a stale dismissal leaves it.
    auto registry = filterOrderedListClass().getViewControllerReferenceArray();
    ASSERT_EQ(registry.size(), 3u);
    EXPECT_EQ(registry[0].lock().get(), newerKey);
    filterOrderedListClass().setViewControllerReferenceArray(olderKey->shared_from_this(), true);
    EXPECT_EQ(filterOrderedListClass().getViewControllerReferenceArray()[0].lock().get(), newerKey);
}

TEST_F(FilterList, TheCamerasKeySwatchOpensTheColourPanelOnTheCamerasKeyWhileALayerIsSelected) {
    struct keyedHost : recordingHost {
        filterValuesArray getLayerFilterValues(bool video) override {
            filterValuesArray values(3);
            values[0] =
                filterValuesEntry{qrn::Value(qrn::ColourArray(video ? std::vector<double>{255, 0, 0, 1}
                                                                    : std::vector<double>{0, 0, 255, 1})),
                                  qrn::Value(10.0), qrn::Value(0), qrn::Value(0)};
            return values;
        }
    };
    struct shownPanel : colourPanel {
        std::optional<qrn::Colour> colour;
        void show(const qrn::Colour& c, bool, std::any) override { colour = c; }
    };
    auto keyed = std::make_shared<keyedHost>();
    setFilterEditingHost(keyed);
    const auto previous = sharedColourPanel();
    auto shown = std::make_shared<shownPanel>();
    setSharedColourPanel(shown);
    filterClass().setVideoFilter({true, false, false});
    auto videoList = filterOrderedListClass().constructOrderedList(mainView, true);
    auto* cameraKey =
        dynamic_cast<chromaKeyRgbController*>(rows(videoList)[0]->subviews().back()->viewController());
    ASSERT_TRUE(cameraKey);
    cameraKey->colourPickerButton->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5}));
    ASSERT_TRUE(shown->colour);
    EXPECT_EQ(*shown->colour, (qrn::Colour{1, 0, 0, 1}));
    // A layer's key panel opens on the selected layer's key.
    filterClass().setFiltersForVideo(false);
    const auto made = qrn::ui::SceneRegistry::instantiateViewController("ChromaKeyRgb");
    auto* layerKey = dynamic_cast<chromaKeyRgbController*>(made.get());
    ASSERT_TRUE(layerKey);
    layerKey->view();
    layerKey->colourPickerButton->mouseDown(qrn::ui::Event::mouse(qrn::ui::EventType::MouseDown, {5, 5}));
    EXPECT_EQ(*shown->colour, (qrn::Colour{0, 0, 1, 1}));
    setSharedColourPanel(previous);
}

TEST_F(FilterList, TheHuePanelOpensOnItsDefaultsAndItsWheelDrawsTheWedge) {
    auto hue = std::dynamic_pointer_cast<chromaKeyHueController>(
        qrn::ui::SceneRegistry::instantiateViewController("ChromaKeyHue"));
    ASSERT_TRUE(hue);
    hue->view();
    EXPECT_EQ(hue->sliderFrom->doubleValue(), 30.0);
    EXPECT_EQ(hue->sliderToStepper->doubleValue(), 40.0);
    EXPECT_EQ(hue->sliderToPercentageField->stringValue(), "40.0");
    // Not a listed filter: it is never registered.
    EXPECT_TRUE(filterOrderedListClass().getViewControllerReferenceArray().empty() ||
                !filterOrderedListClass().getViewControllerReferenceArray()[0].lock());

    chromaKeyColourWheel wheel(qrn::Rect(0, 0, 108, 108));
    QImage canvas(108, 108, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    wheel.draw(painter, wheel.bounds());
    painter.end();
    EXPECT_EQ(wheel.circleRect(), qrn::Rect(4, 1, 100, 100));
    EXPECT_EQ(*chromaKeyColourWheel::wedgeStart() * 3.6, 108.0);
    EXPECT_EQ(*chromaKeyColourWheel::wedgeEnd() * 3.6, 144.0);
    // Something was drawn on the circle's rim.
    EXPECT_GT(qAlpha(canvas.pixel(54, 2)) + qAlpha(canvas.pixel(54, 101)), 0);
}
