#include "take_fixture.h"

#include <chrono>
#include <filesystem>

#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "Model/persistentDataStorageClass.h"
#include "app/layers/layers_support.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/ui/button.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

namespace taketest {

unsigned assetColour(int asset) {
    static const unsigned colours[] = {0xffff0000, 0xff00ff00, 0xff0000ff,
                                       0xffffff00, 0xffff00ff, 0xff00ffff};
    return colours[size_t(asset - 1) % 6];
}

studioByHand::studioByHand(int assets, bool withLayers) {
    // Its own check counts texts per layer; the layer helpers check them per text layer.
    scene.checkEachAdd = false;
    layerIds.push_back("");
    for (int a = 1; a <= assets; ++a) {
        scene.addAsset();
        layerIds.push_back(withLayers ? layerstest::dropImage(a, {300, 200}, {278, 156}, assetColour(a))
                                      : "");
    }
    previewLayerClass model;
    // Over the camera picture, where a presenter's slides are.
    auto firstAbove = model.getFirstLayerAboveVideoArray();
    for (int a = 1; a <= assets && withLayers; ++a)
        firstAbove[size_t(a)] = layerIds[size_t(a)];
    model.setFirstLayerAboveVideoArray(firstAbove);
    views.recordingView = scene.drop;
    views.videoView = model.getVideoLayerView();
    views.mainView = qrn::ui::View::make(qrn::Rect(0, 0, 1200, 800));
    views.mainView->addSubview(scene.parent);
    views.playbackView = qrn::ui::View::make(scene.parent->frame());
    views.mainView->addSubview(views.playbackView);
    views.nextAssetParent = qrn::ui::View::make(qrn::Rect(600, 500, 400, 240));
    views.nextAssetPreview = qrn::ui::View::make(qrn::Rect(80, 50, 240, 135));
    views.nextAssetParent->addSubview(views.nextAssetPreview);
    views.mainView->addSubview(views.nextAssetParent);
    views.videoLoadingIcon = std::make_shared<qrn::ui::ProgressIndicator>();
    views.videoLabel = qrn::ui::TextField::make();
    views.recordButton = std::make_shared<qrn::ui::Button>();
    views.nextAssetNumberOne = std::make_shared<qrn::ui::TextView>();
    views.nextAssetNumberTwo = std::make_shared<qrn::ui::TextView>();
    views.timerTextView = std::make_shared<qrn::ui::TextView>();
    for (int i = 0; i < 5; ++i) {
        svgButtonClass::Configuration c;
        c.frame = qrn::Rect(40.0 * i, 0, 30, 30);
        c.iconName = "record_view";
        auto b = svgButtonClass::make(c);
        b->setSvgIconObj(svgIconClass::make());
        b->svgIconObj()->enableButton(true);
        views.titleBarButtons.push_back(b);
    }
    views.assets = model.getAssetArray();
    views.layers = model.getLayerArray();
    views.assetPreviewLayers.assign(views.assets.size(), {});
    sync();
    captureSessionClass().setCaptureStatusViews(views.videoLoadingIcon, views.videoLabel);
    persistentDataStorageClass().setProjectDirectory(project.path().toStdString());
    recordViewClass().setRecordViewSelected(true);
    resizeAndPositionLayersClass().setBounds(scene.drop->bounds());
}

studioByHand::~studioByHand() {
    captureSessionClass().setTakeAside();
    captureSessionClass::resetTakeForTesting();
    recordViewClass::resetForTesting();
    persistentDataStorageClass().setProjectDirectory("");
}

void studioByHand::sync() {
    auto& g = recordViewModule::globals();
    recordingScreenViewsGroup group;
    group.mainView = views.mainView;
    group.recordingView = views.recordingView;
    group.videoLoadingIcon = views.videoLoadingIcon;
    group.videoLabel = views.videoLabel;
    group.playbackView = views.playbackView;
    group.recordButton = views.recordButton;
    group.timerTextView = views.timerTextView;
    group.nextAssetParent = views.nextAssetParent;
    group.nextAssetPreview = views.nextAssetPreview;
    group.nextAssetNumberOne = views.nextAssetNumberOne;
    group.nextAssetNumberTwo = views.nextAssetNumberTwo;
    g.recordingScreenViews = group;
    const auto& b = views.titleBarButtons;
    g.recordTitleBarButtons = recordTitleBarButtonsGroup{b[0], b[1], b[2], b[3], b[4]};
    g.videoView = views.videoView;
    g.ASSET_ARRAY = views.assets;
    g.LAYER_ARRAY = views.layers;
    g.ASSET_PREVIEW_LAYER_ARRAY = views.assetPreviewLayers;
}

std::string studioByHand::message() const {
    return views.videoLabel->isHidden() ? std::string() : views.videoLabel->stringValue();
}

std::shared_ptr<svgButtonClass> studioByHand::button(size_t i) const {
    return views.titleBarButtons[i];
}

std::shared_ptr<qrn::ui::View> studioByHand::holder(const std::string& layerId) const {
    auto tagged = scene.drop->viewWithTag(std::stoi(layerId));
    return tagged ? tagged->superview() : nullptr;
}

std::shared_ptr<qrn::ui::View> studioByHand::container(const std::string& assetId) const {
    auto tagged = scene.drop->viewWithTag(std::stoi(assetId) + 1);
    return tagged ? tagged->superview() : nullptr;
}

std::shared_ptr<qrn::ui::View> studioByHand::card(int n) const {
    for (auto& c : views.nextAssetParent->subviews())
        for (auto& f : c->subviews())
            if (f->tag() == -n)
                return c;
    return nullptr;
}

void studioByHand::open() {
    recordViewClass r;
    r.setNextAssetIndex(1);
    r.assetPreviews();
    r.setNextAssetIndex(r.getNextAssetIndex() + 1);
    r.fillNextAssetPreview(r.getNextAssetIndex());
    // Asset 1 on show, the others hidden, as the studio opens.
    for (size_t p = 1; p < views.assets.size(); ++p) {
        if (auto c = container(views.assets[p]))
            c->setHidden(p != 1);
        for (auto& id : views.layers[p])
            holder(id)->setHidden(p != 1);
    }
}

std::vector<std::string> studioByHand::movies() const {
    std::vector<std::string> out;
    for (auto& e : std::filesystem::directory_iterator(project.path().toStdString()))
        if (e.path().extension() == ".mov")
            out.push_back(e.path().filename().string());
    return out;
}

void recordingAt(double seconds) {
    recordViewClass().setRecordingStartDate(qrn::media::captureClock() - seconds);
}

bool pumpUntil(const std::function<bool()>& done, double timeout) {
    // The manual clock moves on with real time, so delayed blocks (the export's start) run.
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    while (!done() && std::chrono::steady_clock::now() < end) {
        qrn::MainQueue::advance(0.02);
        qrn::MainQueue::runUntil(done, 0.02);
    }
    return done();
}

} // namespace taketest
