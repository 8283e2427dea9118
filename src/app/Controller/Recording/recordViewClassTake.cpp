// Stepping from one asset to the next while recording, the times of the steps, and the strip
// that shows what comes next.
#include <algorithm>
#include <cstdlib>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/captureSessionClassTake.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/orderLayersClass.h"
#include "Controller/Global/resizeAndPositionLayersClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Controller/Recording/recordViewClassState.h"
#include "Model/globalAppSettingsClass.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/media/capture_session.h"
#include "platform/ui/event.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view.h"

using recordViewModule::globals;

namespace {

std::function<std::optional<recordViewClass::takeScreen>()> takeScreenHook;

// Card n of the strip: the child of the strip's parent that holds the field tagged -n. Looked up
// among the parent's own children only, as the next-asset preview inside it holds marker views
// with negative tags of their own.
std::shared_ptr<qrn::ui::View> cardOf(const std::shared_ptr<qrn::ui::View>& parent, int n) {
    if (!parent)
        return nullptr;
    for (auto& card : parent->subviews())
        for (auto& field : card->subviews())
            if (field->tag() == -n)
                return card;
    return nullptr;
}

qrn::Colour named(const std::string& name, qrn::Colour fallback) {
    return qrn::namedColour(name, true).value_or(fallback);
}

void styleCard(qrn::ui::View& view, double z) {
    auto& layer = *view.layer();
    layer.setBackgroundColour(named("background_colour_light_dark", qrn::Colour{0.2, 0.2, 0.2, 1}));
    layer.setBorderWidth(1.0);
    layer.setBorderColour(named("border_colour_light_dark", qrn::Colour{0.4, 0.4, 0.4, 1}));
    layer.setCornerRadius(4.0);
    layer.setZPosition(z);
}

void setNumber(const std::shared_ptr<qrn::ui::TextView>& view, const std::string& text) {
    if (!view)
        return;
    view->setString(text);
    view->setDefaultTextColour(named("text_colour_dark_dark", qrn::Colour{0.9, 0.9, 0.9, 1}));
}

} // namespace

void recordViewClass::takeScreen::showButton(size_t button, bool shown) const {
    if (button < titleBarButtons.size() && titleBarButtons[button])
        titleBarButtons[button]->setHidden(!shown);
}

void recordViewClass::takeScreen::enableIcon(size_t button, bool enable) const {
    if (button < titleBarButtons.size() && titleBarButtons[button])
        if (auto icon = titleBarButtons[button]->svgIconObj())
            icon->enableButton(enable);
}

recordViewClass::ViewPtr recordViewClass::takeScreen::holderOf(int tag) const {
    auto tagged = recordingView ? recordingView->viewWithTag(tag) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

int recordViewClass::takeScreen::idValue(const std::string& id) {
    return std::atoi(id.c_str());
}

void recordViewClass::setTakeScreenHook(std::function<std::optional<takeScreen>()> hook) {
    takeScreenHook = std::move(hook);
}

std::optional<recordViewClass::takeScreen> recordViewClass::getTakeScreen() {
    if (takeScreenHook)
        return takeScreenHook();
    const auto& g = globals();
    if (!g.recordingScreenViews)
        return std::nullopt;
    const auto& v = *g.recordingScreenViews;
    takeScreen screen;
    screen.mainView = v.mainView;
    screen.recordingView = v.recordingView;
    screen.videoView = g.videoView;
    screen.playbackView = v.playbackView;
    screen.nextAssetParent = v.nextAssetParent;
    screen.nextAssetPreview = v.nextAssetPreview;
    screen.videoLoadingIcon = v.videoLoadingIcon;
    screen.videoLabel = v.videoLabel;
    screen.recordButton = v.recordButton;
    screen.nextAssetNumberOne = v.nextAssetNumberOne;
    screen.nextAssetNumberTwo = v.nextAssetNumberTwo;
    screen.timerTextView = v.timerTextView;
    if (const auto& b = g.recordTitleBarButtons)
        screen.titleBarButtons = {b->buttonEditingView, b->buttonAutocueSettingsView,
                                  b->buttonVideoSettingsView, b->buttonDismissPlayback,
                                  b->buttonSavePlayback};
    screen.assets = g.ASSET_ARRAY;
    screen.layers = g.LAYER_ARRAY;
    if (g.ASSET_PREVIEW_LAYER_ARRAY)
        screen.assetPreviewLayers = *g.ASSET_PREVIEW_LAYER_ARRAY;
    return screen;
}

void recordViewClass::appendAssetTiming(double seconds) {
    globals().ASSET_TIMING_ARRAY.push_back(seconds);
}
void recordViewClass::selectNextAsset() {
    auto screen = getTakeScreen();
    if (!screen)
        return;
    const auto& assets = screen->assets;
    const auto& layers = screen->layers;
    // A take recorded from the stand-in movie has no movie output running, so the take's own
    // state says whether the presenter is recording.
    auto& g = globals();
    if (!captureSessionClass().getStartedRecording() || assets.size() < 2 ||
        assets.size() <= size_t(g.nextAssetIndex))
        return;
    QRN_LOG_IN(LogValues{{"nextAssetIndex", g.nextAssetIndex}});
    const size_t i = size_t(g.nextAssetIndex);
    // Once the countdown is over the take is running for the presenter, though the camera's
    // first picture, the movie's start, may still be on its way: a step before it is taken at
    // the start, so the slide left has no time in the movie, rather than lost.
    g.ASSET_TIMING_ARRAY.push_back(g.recordingStartDate ? qrn::media::captureClock() - *g.recordingStartDate
                                                        : 0.0);
    if (auto left = screen->holderOf(takeScreen::idValue(assets[i - 1]) + 1))
        left->setHidden(true);
    if (auto shown = screen->holderOf(takeScreen::idValue(assets[i]) + 1))
        shown->setHidden(false);
    if (i - 1 < layers.size())
        for (const auto& id : layers[i - 1])
            if (auto holder = screen->holderOf(takeScreen::idValue(id)))
                holder->setHidden(true);
    reloadAssetPreviews();
    if (i < assets.size()) {
        if (i < layers.size())
            for (const auto& id : layers[i])
                if (auto holder = screen->holderOf(takeScreen::idValue(id)))
                    holder->setHidden(false);
        autocueDisplayClass().newAutocueText(int(i) - 1, false);
    }
    g.nextAssetIndex = int(i) + 1;
}

void recordViewClass::layerHitTest(const qrn::ui::Event& event) {
    auto screen = getTakeScreen();
    if (!screen || !screen->recordingView)
        return;
    const auto& picture = screen->recordingView;
    const auto outer = picture->superview();
    const qrn::Point point =
        outer ? outer->convertPointFromView(event.locationInWindow, nullptr) : event.locationInWindow;
    // The view of the picture's own children that holds what was hit.
    const qrn::ui::View* hit = picture->hitTest(point);
    while (hit && hit != picture.get() && hit->superview().get() != picture.get())
        hit = hit->superview().get();
    if (!hit || hit == picture.get())
        return;
    // Layer views stand in the picture above the group view marked -9; the asset containers
    // stand below it and carry tags of their own, which may equal a layer's.
    const auto& children = picture->subviews();
    const auto marker = picture->viewWithTag(-9);
    const auto groups = std::find_if(children.begin(), children.end(),
                                     [&](const ViewPtr& v) { return marker && v == marker->superview(); });
    const auto layer = std::find_if(groups, children.end(), [&](const ViewPtr& v) { return v.get() == hit; });
    if (layer == children.end() || (*layer)->subviews().empty())
        return;
    const auto tag = (*layer)->subviews().front()->tag();
    if (!tag)
        return;
    const std::string id = std::to_string(*tag);
    for (const auto& row : screen->layers)
        if (std::find(row.begin(), row.end(), id) != row.end()) {
            QRN_LOG_IN(LogValues{{"layer", id}});
            previewLayerClass().layerSelected(*layer);
            return;
        }
}

void recordViewClass::assetPreviews() {
    auto screen = getTakeScreen();
    if (!screen || !screen->nextAssetPreview || !screen->nextAssetParent)
        return;
    QRN_LOG_IN();
    auto& preview = *screen->nextAssetPreview;
    for (auto& v : std::vector<ViewPtr>(preview.subviews()))
        v->removeFromSuperview();
    preview.setHidden(true);
    styleCard(preview, 3.0);
    // The slide is drawn inside the card, as the strip's thumbnails are inside their tiles: a
    // layer that reaches past the slide's edge must not spill over the studio.
    preview.layer()->setMasksToBounds(true);
    const size_t count = screen->assets.size();
    preview.setHidden(count < 3);
    // Cards of an earlier opening go first, so each tag names one card.
    const int cards = globalAppSettingsClass().getNumberOfAssetPreviewsInRecordView();
    for (int n = 1; n <= cards; ++n)
        while (auto old = cardOf(screen->nextAssetParent, n))
            old->removeFromSuperview();
    const double x = screen->nextAssetParent->frame().width() / 2 - 120.0;
    assetPreviewAfterNextPreview(cards, x, 240.0);
    setNumber(screen->nextAssetNumberOne, count >= 3 ? "2" : "0");
    setNumber(screen->nextAssetNumberTwo,
              "/  " + (count >= 3 ? std::to_string(count - 1) : std::string("0")));
}

void recordViewClass::assetPreviewAfterNextPreview(int n, double x, double width) {
    auto screen = getTakeScreen();
    if (!screen || !screen->nextAssetParent)
        return;
    for (; n >= 1; --n) {
        auto card = qrn::ui::View::make(qrn::Rect(x + 5 * n, 47 + 5 * n, width - 10 * n, 135));
        styleCard(*card, 1.0);
        auto field = qrn::ui::TextField::make();
        field->setEditable(false);
        field->setTag(-n);
        card->addSubview(field);
        card->setHidden(size_t(n + 2) >= screen->assets.size());
        screen->nextAssetParent->addSubview(card);
    }
}

void recordViewClass::fillNextAssetPreview(int assetIndex) {
    auto screen = getTakeScreen();
    if (!screen || !screen->nextAssetPreview)
        return;
    const auto& preview = screen->nextAssetPreview;
    for (auto& v : std::vector<ViewPtr>(preview->subviews()))
        v->removeFromSuperview();
    orderLayersClass().addParentOrderViews(preview, true);
    orderLayersClass().addParentOrderViews(preview, false);
    const bool exists = assetIndex >= 0 && screen->assets.size() > size_t(assetIndex);
    if (exists && size_t(assetIndex) < screen->assetPreviewLayers.size() &&
        !screen->assetPreviewLayers[size_t(assetIndex)].empty())
        orderLayersClass().addLayersToAssetPreview(assetIndex, preview, screen->assetPreviewLayers);
    preview->setHidden(!exists);
}

void recordViewClass::displayNextAssetPreviews() {
    auto screen = getTakeScreen();
    if (!screen || !screen->nextAssetParent)
        return;
    const int cards = globalAppSettingsClass().getNumberOfAssetPreviewsInRecordView();
    for (int n = 1; n <= cards; ++n)
        if (auto card = cardOf(screen->nextAssetParent, n))
            card->setHidden(!(globals().nextAssetIndex + n < int(screen->assets.size()) - 1));
}

void recordViewClass::reloadAssetPreviews() {
    const int next = globals().nextAssetIndex + 1;
    fillNextAssetPreview(next);
    displayNextAssetPreviews();
    // A project of one slide has no next one to count: the number stays as the studio opened
    // it, not "2 / 0" after a take. On the last slide there is no next one either, and the
    // number stops at the last ("3 / 3", never "4 / 3").
    if (auto screen = getTakeScreen()) {
        const int last = int(screen->assets.size()) - 1;
        setNumber(screen->nextAssetNumberOne,
                  screen->assets.size() >= 3 ? std::to_string(std::min(next, last)) : "0");
    }
}

void recordViewClass::resetTakeForTesting() {
    takeScreenHook = nullptr;
}
