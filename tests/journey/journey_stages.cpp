#include "journey/journey_stages.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Editing/SettingsPanel/LayerSettings/layerSettingsTextClass.h"
#include "Controller/Editing/editViewClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/filterClass.h"
#include "Controller/Global/filterOrderedListClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Landing/landingClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/globalAppSettingsClass.h"
#include "Model/persistentDataStorageClass.h"
#include "Model/stylingClass.h"
#include "View/Editing/Preview/manipulateImageView.h"
#include "View/Editing/SettingsPanel/Symbols/imagePickerController.h"
#include "View/Editing/editScreenTitleBarController.h"
#include "View/Editing/viewLoaderController.h"
#include "View/Editing/viewLoaderView.h"
#include "View/Global/aboutController.h"
#include "View/Global/iconViewView.h"
#include "View/Global/svgIconView.h"
#include "View/Landing/landingButtonView.h"
#include "View/Landing/landingController.h"
#include "View/Recording/autocueDisplayController.h"
#include "View/Recording/recordViewController.h"
#include "journey/journey_driver.h"
#include "platform/graphics/animated_value.h"
#include "platform/graphics/off_thread_picture.h"
#include "platform/media/movie_reader.h"
#include "platform/media/player.h"
#include "platform/media/player_view.h"
#include "platform/qt/host_window.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "support/gif_writer.h"
#include "support/movie_sound.h"

namespace journey {

namespace fs = std::filesystem;

namespace {

// With JOURNEY_SHOTS set to a folder, what the main window shows is kept there as name.png.
void shot(const std::string& name) {
    const char* folder = std::getenv("JOURNEY_SHOTS");
    if (!folder)
        return;
    for (auto& w : shownWindows())
        grab(*w).save(QString::fromStdString(std::string(folder) + "/" + name + "-" + w->title() + ".png"));
}

// The model with its ids replaced by places: a reopened project numbers its slides and layers
// afresh, and what must survive is what is where.
qrn::Json byPlace(qrn::Json model) {
    if (!model.is_object())
        return model;
    std::map<std::string, std::string> layerPlace;
    if (model.contains("LAYER_ARRAY") && model["LAYER_ARRAY"].is_array()) {
        auto& layers = model["LAYER_ARRAY"];
        for (size_t i = 0; i < layers.size(); ++i)
            for (size_t k = 0; k < layers[i].size(); ++k) {
                const std::string place = std::to_string(i) + ":" + std::to_string(k);
                if (layers[i][k].is_string())
                    layerPlace[layers[i][k].get<std::string>()] = place;
                layers[i][k] = place;
            }
    }
    if (model.contains("ASSET_ARRAY") && model["ASSET_ARRAY"].is_array())
        for (size_t i = 0; i < model["ASSET_ARRAY"].size(); ++i)
            model["ASSET_ARRAY"][i] = i;
    for (const char* key : {"FIRST_LAYER_ABOVE_VIDEO_ARRAY", "ASSET_BACKGROUND_ID_ARRAY"})
        if (model.contains(key) && model[key].is_array())
            for (auto& id : model[key])
                if (id.is_string() && layerPlace.count(id.get<std::string>()))
                    id = layerPlace[id.get<std::string>()];
    return model;
}

// Where two models first differ ("" when they agree); numbers agree within a millionth, as
// geometry read back through text may round in its last digit.
std::string firstDifference(const qrn::Json& a, const qrn::Json& b, const std::string& at = "") {
    if (a.is_number() && b.is_number())
        return std::abs(a.get<double>() - b.get<double>()) <= 1e-6 * std::max(1.0, std::abs(a.get<double>()))
                   ? ""
                   : at + ": " + a.dump() + " vs " + b.dump();
    if (a.type() != b.type())
        return at + ": " + a.dump() + " vs " + b.dump();
    if (a.is_array()) {
        if (a.size() != b.size())
            return at + ": " + std::to_string(a.size()) + " entries vs " + std::to_string(b.size());
        for (size_t i = 0; i < a.size(); ++i)
            if (auto d = firstDifference(a[i], b[i], at + "[" + std::to_string(i) + "]"); !d.empty())
                return d;
        return "";
    }
    if (a.is_object()) {
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (!b.contains(it.key()))
                return at + "." + it.key() + " missing";
            if (auto d = firstDifference(it.value(), b[it.key()], at + "." + it.key()); !d.empty())
                return d;
        }
        return a.size() == b.size() ? "" : at + ": other keys";
    }
    return a == b ? "" : at + ": " + a.dump() + " vs " + b.dump();
}

qrn::Json readJson(const fs::path& file) {
    std::ifstream in(file);
    if (!in)
        return qrn::Json();
    return qrn::Json::parse(in, nullptr, false);
}

viewLoaderController* editor(qrn::ui::WindowPtr* window = nullptr) {
    return controllerIn<viewLoaderController>(window);
}

// The editing window's top-level widget: what the window manager moves and resizes.
QWidget* editorTopWidget() {
    auto* screen = editor();
    QWidget* host = screen ? hostOf(*screen->mainView) : nullptr;
    return host ? host->window() : nullptr;
}

std::shared_ptr<editScreenTitleBarController> titleBar() {
    return editScreenTitleBarController::current();
}

size_t slideCount() {
    return previewLayerClass().getAssetArray().size();
}

std::vector<std::string> layersOf(size_t slide) {
    const auto layers = previewLayerClass().getLayerArray();
    return slide < layers.size() ? layers[slide] : std::vector<std::string>();
}

size_t filesIn(const fs::path& folder) {
    std::error_code error;
    size_t n = 0;
    for (auto it = fs::directory_iterator(folder, error); !error && it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

// The strip's tile of slide n (1 ...), found by the tag the strip gives it.
std::shared_ptr<qrn::ui::View> slideTile(size_t slide) {
    auto* screen = editor();
    if (!screen || !screen->assetTableView)
        return nullptr;
    const auto assets = previewLayerClass().getAssetArray();
    if (slide >= assets.size())
        return nullptr;
    auto doc = screen->assetTableView->documentView();
    // The tile's number label carries the slide's id.
    auto label = doc ? doc->viewWithTag(std::stoi(assets[slide])) : nullptr;
    return label ? label->superview() : nullptr;
}

// Every view of type T under `root`, depth first.
template <typename T>
std::vector<std::shared_ptr<T>> viewsOf(const std::shared_ptr<qrn::ui::View>& root, bool withHidden = false) {
    std::vector<std::shared_ptr<T>> out;
    std::function<void(const std::shared_ptr<qrn::ui::View>&)> walk =
        [&](const std::shared_ptr<qrn::ui::View>& v) {
            if (!v || (v->isHidden() && !withHidden))
                return;
            if (auto t = std::dynamic_pointer_cast<T>(v))
                out.push_back(t);
            for (auto& s : v->subviews())
                walk(s);
        };
    walk(root);
    return out;
}

qrn::ui::Window& window() {
    qrn::ui::WindowPtr w;
    editor(&w);
    return *w;
}

// The first shown svg button with the icon `name` in the window.
std::shared_ptr<svgButtonClass> buttonNamed(qrn::ui::Window& window, const std::string& name) {
    for (auto& b : viewsOf<svgButtonClass>(window.frameView()))
        if (b->iconName() == name)
            return b;
    return nullptr;
}

// A layer's view in the preview: the holder whose first subview carries the layer's id.
std::shared_ptr<qrn::ui::View> layerView(const std::string& id) {
    auto* screen = editor();
    if (!screen || !screen->parentPreviewView)
        return nullptr;
    auto tagged = screen->parentPreviewView->viewWithTag(std::stoi(id));
    return tagged ? tagged->superview() : nullptr;
}

// Clicks layer `id` in the preview and waits until it is the selected one; its holder, or none.
std::shared_ptr<qrn::ui::View> clickLayer(const std::string& id, const std::string& what) {
    auto holder = layerView(id);
    EXPECT_TRUE(holder) << "the " << what << "'s layer is not in the preview";
    if (!holder)
        return nullptr;
    auto drop = editor()->dragView;
    clickAt(*drop, drop->convertPointFromView(holder->windowRect().center(), nullptr));
    EXPECT_TRUE(waitUntil([&] { return previewLayerClass().getSelectedLayer() == std::stoi(id); }))
        << "a click on the " << what << " did not select it";
    return holder;
}

// A handle of the selection overlay: -1 turns, -2 resizes.
std::shared_ptr<qrn::ui::View> handle(int tag) {
    auto* screen = editor();
    for (auto& h : viewsOf<manipulateImageView>(screen->mainView))
        if (!h->subviews().empty() && h->subviews().front()->tag() == tag)
            return h;
    return nullptr;
}

struct LayerState {
    std::vector<double> frame{0, 0, 0, 0};
    double rotation = 0;
    bool flippedH = false, flippedV = false;
};

// What the model holds for layer k of slide n.
LayerState layerState(size_t slide, size_t k) {
    const auto model = persistentDataStorageClass().buildProjectDictionary();
    LayerState s;
    try {
        s.frame = model.at("LAYER_ORIGIN_SIZE_ARRAY").at(slide).at(k).get<std::vector<double>>();
        s.rotation = model.at("LAYER_ROTATE_ARRAY").at(slide).at(k).get<double>();
        s.flippedH = model.at("LAYER_IS_FLIPPED_ARRAY").at(slide).at(k).at(0).get<bool>();
        s.flippedV = model.at("LAYER_IS_FLIPPED_ARRAY").at(slide).at(k).at(1).get<bool>();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the model has no layer " << k << " on slide " << slide << ": " << e.what();
    }
    return s;
}

// The script of slide n (1 ...); the sticky slide's script is the project's notes instead.
std::string scriptOf(size_t slide) {
    const auto scripts = attributedStringStorageClass().getAutocueStringArray();
    return slide >= 1 && slide <= scripts.size() ? scripts[slide - 1].string() : std::string();
}

// The layer list's tile of a layer id ("-8": the camera).
std::shared_ptr<qrn::ui::View> layerTile(const std::string& id) {
    auto* screen = editor();
    auto doc = screen && screen->layerTableView ? screen->layerTableView->documentView() : nullptr;
    auto tagged = doc ? doc->viewWithTag(std::stoi(id)) : nullptr;
    return tagged ? tagged->superview() : nullptr;
}

// Drags the tile of `id` in the layer list onto the place of the tile of `onto`.
bool dragTile(const std::string& id, const std::string& onto) {
    auto tile = layerTile(id), target = layerTile(onto);
    EXPECT_TRUE(tile && target) << "no tile for " << id << " or " << onto;
    if (!tile || !target)
        return false;
    const auto from = clickablePoint(*tile);
    const auto to = clickablePoint(*target);
    if (!from || !to)
        return false;
    auto* screen = editor();
    const auto& list = *screen->mainView;
    const qrn::Point a = list.convertPointFromView(tile->convertPointToView(*from, nullptr), nullptr);
    const qrn::Point b = list.convertPointFromView(target->convertPointToView(*to, nullptr), nullptr);
    const auto before = previewLayerClass().getLayerArray();
    const auto aboveBefore = previewLayerClass().getFirstLayerAboveVideoArray();
    drag(list, a, b, 12);
    return waitUntil([&] {
        return previewLayerClass().getLayerArray() != before ||
               previewLayerClass().getFirstLayerAboveVideoArray() != aboveBefore;
    });
}

recordViewController* studio() {
    if (auto* screen = controllerIn<recordViewController>())
        return screen;
    auto presented = recordViewClass().getPresentedRecordViewController();
    return presented && presented->window() && presented->window()->isVisible() ? presented.get() : nullptr;
}

qrn::ui::Window& studioWindow() {
    return *studio()->window();
}

// The presenter's click on the editing screen's record button, and the studio it brings.
recordViewController* enterStudio() {
    click(*titleBar()->buttonRecordView);
    EXPECT_TRUE(waitUntil([] { return studio() && recordViewClass().getRecordViewSelected(); }))
        << "the studio never showed";
    return studio();
}

// A layer's holder in the studio's picture.
std::shared_ptr<qrn::ui::View> studioLayer(const std::string& id) {
    auto* screen = studio();
    if (!screen || !screen->recordingView || id.empty())
        return nullptr;
    auto tagged = screen->recordingView->viewWithTag(std::stoi(id));
    return tagged ? tagged->superview() : nullptr;
}

// The slide whose layers the studio's picture shows (0 when none or several).
int slideShownInStudio() {
    const auto layers = previewLayerClass().getLayerArray();
    int shown = 0;
    for (size_t slide = 1; slide < layers.size(); ++slide) {
        bool visible = false;
        for (auto& id : layers[slide])
            if (auto holder = studioLayer(id))
                visible = visible || !holder->isHiddenOrHasHiddenAncestor();
        if (visible)
            shown = shown ? -1 : int(slide);
    }
    return std::max(shown, 0);
}

// The next-asset card shows the layers of slide n: one view per layer, tagged with its id.
void expectCardShows(size_t slide) {
    auto* screen = studio();
    if (!screen || !screen->nextAssetPreview) {
        ADD_FAILURE() << "no next-asset card";
        return;
    }
    EXPECT_FALSE(screen->nextAssetPreview->isHiddenOrHasHiddenAncestor()) << "the next-asset card is hidden";
    const auto layers = previewLayerClass().getLayerArray();
    if (slide >= layers.size())
        return;
    for (auto& id : layers[slide]) {
        // A thumbnail copy is the holder of a marker tagged with the layer's id.
        auto tagged = screen->nextAssetPreview->viewWithTag(std::stoi(id));
        auto holder = tagged ? tagged->superview() : nullptr;
        EXPECT_TRUE(holder && holder != screen->nextAssetPreview && !holder->isHiddenOrHasHiddenAncestor())
            << "the next-asset card lacks layer " << id << " of slide " << slide;
    }
}

// Steps taken in the take so far (the timing starts with the take's own start).
size_t stepsTimed() {
    const auto timing = recordViewClass().getAssetTimingArray();
    return timing.empty() ? 0 : timing.size() - 1;
}

std::string autocueText() {
    auto autocue = autocueDisplayController::current();
    if (!autocue || !autocue->textField())
        return "";
    for (auto& text : viewsOf<qrn::ui::TextView>(autocue->textField()))
        return text->string();
    return "";
}

bool selectSlide(size_t slide) {
    auto tile = slideTile(slide);
    EXPECT_TRUE(tile) << "no tile for slide " << slide;
    if (!tile)
        return false;
    shot("before-select");
    // Scrolled away behind the sticky tile: the presenter scrolls the strip back first.
    for (int i = 0; i < 20 && !clickablePoint(*tile); ++i)
        wheel(*editor()->assetTableView, QPoint(120, 0));
    click(*tile);
    EXPECT_TRUE(waitUntil([&] { return previewLayerClass().getSelectedAssetIndex() == int(slide); }))
        << "slide " << slide << " never became the selected one";
    return previewLayerClass().getSelectedAssetIndex() == int(slide);
}

} // namespace

// Whether the application was asked to quit: every event loop started from now on returns at once.
static bool quitRequested() {
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&loop] { loop.exit(0); });
    return loop.exec() == -1;
}

#define STAGE(name) SCOPED_TRACE("stage: " name)
#define ASSERT_FALSE_RETURN(condition, message)                                                              \
    do {                                                                                                     \
        if (condition) {                                                                                     \
            ADD_FAILURE() << message;                                                                        \
            return false;                                                                                    \
        }                                                                                                    \
    } while (false)

Journey::Journey(fs::path base) : base_(std::move(base)) {}

Ending Journey::stop() {
    stopped_ = true;
    return Ending::stoppedEarly;
}

// --- First launch

Ending Journey::firstLaunch() {
    if (!landing(false) || !aboutThenOpenCancelled() || !newProject() || !addSlides())
        return stop();
    if (!dropPictures() || !symbolFromPicker() || !textLayer() || !resizeWindow() || !leaveWindowAtAFrame() ||
        !gestures() || !quickGestures() || !turnFlipUndo() || !reorderLayers() || !filters() || !scripts())
        return stop();
    if (!save() || !leaveTitleBarAboveTheScreen() || !closeProject())
        return stop();
    return Ending::appEnds;
}

void Journey::afterFirstLaunch() {
    STAGE("after the first launch");
    EXPECT_TRUE(shownWindows().empty());
    // Closing wrote nothing different from what was saved.
    const qrn::Json& last = savedInFullScreen_.is_null() ? saved_ : savedInFullScreen_;
    if (!last.is_null()) {
        EXPECT_EQ(firstDifference(readJson(project_ / "projectData.json"), last), "");
    }
}

bool Journey::landing(bool expectRecent) {
    STAGE("landing");
    qrn::ui::WindowPtr window;
    landingController* screen = nullptr;
    EXPECT_TRUE(waitUntil([&] { return (screen = controllerIn<landingController>(&window)) != nullptr; }))
        << "the landing screen never showed";
    if (!screen)
        return false;
    EXPECT_EQ(shownWindows().size(), 1u);
    EXPECT_EQ(window->title(), "QRN");
    auto create = screen->createNewProjectButton();
    auto open = screen->openExistingProjectButton();
    EXPECT_TRUE(create && create->window() == window.get() && !create->isHiddenOrHasHiddenAncestor());
    EXPECT_TRUE(open && open->window() == window.get() && !open->isHiddenOrHasHiddenAncestor());
    // The recent list fills a moment after the screen shows.
    auto list = screen->recentProjectsScrollview();
    EXPECT_TRUE(list && list->documentView());
    if (!list || !list->documentView())
        return false;
    const size_t rows = expectRecent ? 1 : 0;
    EXPECT_TRUE(waitUntil([&] { return list->documentView()->subviews().size() == rows; }))
        << "recent projects shown: " << list->documentView()->subviews().size();
    return create && open;
}

bool Journey::aboutThenOpenCancelled() {
    STAGE("About, then Open cancelled: the landing screen waits 2 s, then takes clicks");
    qrn::ui::WindowPtr window, about;
    auto* screen = controllerIn<landingController>(&window);
    if (!screen)
        return false;
    EXPECT_TRUE(menuItem(*window, "QRN", "About QRN"));
    EXPECT_TRUE(waitUntil([&] { return controllerIn<aboutController>(&about) != nullptr; }))
        << "the about box never showed";
    if (!about)
        return false;
    // The about box is modal: the File menu's shortcut waits until it is closed.
    const int dialogs = fileDialogsAnswered();
    keyThroughShortcuts(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(fileDialogsAnswered(), dialogs) << "Open acted while the about box was up";
    EXPECT_FALSE(about->isClosed());
    // Its close button; the window manager gives the landing window the keyboard back. Then Open,
    // cancelled.
    hostOf(*about->contentView())->close();
    EXPECT_TRUE(waitUntil([&] { return about->isClosed(); })) << "the about box stayed";
    hostOf(*window->contentView())->activateWindow();
    EXPECT_TRUE(waitUntil([&] { return window->isKeyWindow(); }));
    answerNextFileDialog({});
    keyThroughShortcuts(Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(fileDialogsAnswered(), dialogs + 1) << "Open did not ask for a project";
    // The landing screen's buttons take clicks again: Open existing project asks, and is cancelled.
    answerNextFileDialog({});
    click(*screen->openExistingProjectButton());
    EXPECT_TRUE(waitUntil([&] { return fileDialogsAnswered() == dialogs + 2; }))
        << "the click on Open existing project did nothing";
    // Clicked again at once, neither button asks: the landing screen waits 2.0 s after a
    // cancelled panel (a file dialog nobody expected fails the journey).
    click(*screen->createNewProjectButton());
    click(*screen->openExistingProjectButton());
    EXPECT_EQ(fileDialogsAnswered(), dialogs + 2) << "a click just after the cancel was taken";
    EXPECT_TRUE(waitUntil([&] { return !screen->getActionInProgress(); }));
    return fileDialogsAnswered() == dialogs + 2 && controllerIn<landingController>() == screen;
}

bool Journey::newProject() {
    STAGE("New");
    auto* screen = controllerIn<landingController>();
    if (!screen)
        return false;
    project_ = base_ / "projects" / "talk.qrn3ks";
    // The save panel gets a name without the package's extension, as a presenter types it.
    answerNextFileDialog(base_ / "projects" / "talk");
    click(*screen->createNewProjectButton());
    qrn::ui::WindowPtr window;
    EXPECT_TRUE(waitUntil([&] { return editor(&window) && editViewClass().getEditViewSelected(); }))
        << "the editing screen never showed";
    if (!editor())
        return false;
    EXPECT_EQ(shownWindows().size(), 1u);
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; })) << window->title();
    EXPECT_TRUE(fs::is_directory(project_));
    // A new project starts with its first slide.
    EXPECT_TRUE(waitUntil([] { return slideCount() == 2; })) << slideCount();
    EXPECT_TRUE(waitUntil([&] { return fs::exists(project_ / "projectData.json"); }));
    EXPECT_TRUE(titleBar() != nullptr);
    return editor() && titleBar() && slideCount() == 2;
}

bool Journey::addSlides() {
    STAGE("add two slides");
    auto* screen = editor();
    auto button = screen->addAssetButtonView;
    EXPECT_TRUE(button && !button->isHiddenOrHasHiddenAncestor());
    if (!button)
        return false;
    for (size_t want : {3u, 4u}) {
        click(*button);
        EXPECT_TRUE(waitUntil([&] { return slideCount() == want; })) << slideCount();
    }
    // The new slide is the selected one, and the strip shows a tile per slide.
    EXPECT_EQ(previewLayerClass().getSelectedAssetIndex(), 3);
    return slideCount() == 4;
}

bool Journey::dropPictures() {
    STAGE("drop a PNG and a GIF");
    auto* screen = editor();
    auto drop = screen->dragView;
    if (!drop)
        return false;
    const fs::path pictures = fs::path(QRN_SOURCE_DIR) / "tests" / "journey" / "pictures";
    // The pictures go onto the first slide.
    if (!selectSlide(1))
        return false;
    const size_t before = layersOf(1).size();
    EXPECT_TRUE(dropFiles(*drop, drop->bounds().center(), {pictures / "orange.png"}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 1; })) << layersOf(1).size();
    EXPECT_TRUE(dropFiles(*drop, {drop->bounds().width() * 0.3, drop->bounds().height() * 0.6},
                          {pictures / "blink.gif"}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 2; })) << layersOf(1).size();
    {
        SCOPED_TRACE("awaits a mend: a dropped GIF animates in the preview");
        auto gif = layersOf(1).size() == before + 2 ? layerView(layersOf(1).back()) : nullptr;
        EXPECT_TRUE(gif) << "the GIF's layer is not in the preview";
        if (gif) {
            // Its two frames are green and magenta, a fifth of a second each.
            auto* host = qrn::qt::hostWidget(window());
            const QRect area = host->toQt(gif->windowRect());
            const QImage first = host->grab(area).toImage();
            bool changed = waitUntil([&] { return host->grab(area).toImage() != first; });
            EXPECT_TRUE(changed) << "the GIF shows one still picture";
        }
    }
    // Both pictures are copied into the project's images folder.
    EXPECT_TRUE(waitUntil([&] { return filesIn(project_ / "images") >= 2; })) << filesIn(project_ / "images");

    // A photo from a 48-megapixel camera becomes a layer too, held no larger than the movie
    // shows it; Undo takes it back, so the slide keeps its two pictures.
    const fs::path photo = base_ / "camera.jpg";
    {
        QImage big(8000, 6000, QImage::Format_RGB888);
        big.fill(QColor(40, 90, 160));
        EXPECT_TRUE(big.save(QString::fromStdString(photo.string()), "JPG", 30));
    }
    EXPECT_TRUE(dropFiles(*drop, drop->bounds().center(), {photo}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 3; })) << "the photo gave no layer";
    if (layersOf(1).size() == before + 3) {
        const auto holder = layerView(layersOf(1).back());
        std::vector<std::shared_ptr<qrn::ui::ImageView>> pictures;
        if (holder)
            pictures = viewsOf<qrn::ui::ImageView>(holder);
        EXPECT_FALSE(pictures.empty()) << "the photo's layer shows no picture";
        if (!pictures.empty()) {
            EXPECT_LE(pictures.front()->image().width(), 1920) << "the photo is held at full size";
        }
        settle(0.4);
        EXPECT_TRUE(menuItem(window(), "Edit", "Undo"));
        EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 2; })) << "Undo left the photo";
    }

    // A picture too large to read within the decode budget (a GIF of a 16384 x 16384 screen) is
    // refused, and a notice names it.
    const fs::path huge = base_ / "huge.gif";
    {
        QByteArray gif = qrn::test::gif_detail::header(16384, 16384, {qRgb(0, 0, 255)});
        qrn::test::gif_detail::image(gif, {0, 0}, 1, 1, 0, 0);
        gif.append(char(0x3b));
        QFile file(QString::fromStdString(huge.string()));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(gif) == gif.size());
    }
    const size_t seen = alertsSeen().size();
    dropFiles(*drop, drop->bounds().center(), {huge});
    EXPECT_TRUE(waitUntil([&] { return alertsSeen().size() == seen + 1; }))
        << "no notice for the huge picture";
    if (alertsSeen().size() > seen) {
        EXPECT_EQ(alertsSeen().back(), "The picture \"huge.gif\" is too large to show.");
    }
    return layersOf(1).size() == before + 2;
}
bool Journey::symbolFromPicker() {
    STAGE("a symbol from the picker");
    auto* screen = editor();
    auto tiles = viewsOf<iconViewView>(screen->settingsView);
    EXPECT_FALSE(tiles.empty()) << "the symbols pane shows no symbols";
    if (tiles.empty())
        return false;
    // The presenter presses a symbol and drags it onto the picture of slide 2.
    if (!selectSlide(2))
        return false;
    const size_t before = layersOf(2).size();
    auto tile = tiles.front();
    const auto at = clickablePoint(*tile);
    EXPECT_TRUE(at.has_value());
    if (!at)
        return false;
    hover(*tile, *at);
    press(*tile, *at);
    // The window system carries what the app put into its drag to where the button comes up.
    auto payload = lastDragPayload(*tile);
    release(*tile, *at);
    EXPECT_TRUE(payload) << "pressing a symbol started no drag";
    if (!payload)
        return false;
    auto drop = screen->dragView;
    EXPECT_TRUE(dropMime(*drop, drop->bounds().center(), *payload));
    EXPECT_TRUE(waitUntil([&] { return layersOf(2).size() == before + 1; })) << layersOf(2).size();
    return layersOf(2).size() == before + 1;
}
bool Journey::textLayer() {
    STAGE("add a text layer and type");
    auto* screen = editor();
    if (!selectSlide(3))
        return false;
    // The symbols pane's text category, then its text tile dragged onto the picture.
    std::shared_ptr<qrn::ui::View> textCategory;
    for (auto& icon : viewsOf<symbolSelectionMenuIconView>(screen->settingsView))
        if (!icon->subviews().empty() && icon->subviews()[0]->tag() == 6)
            textCategory = icon;
    EXPECT_TRUE(textCategory) << "no text category in the symbols pane";
    if (!textCategory)
        return false;
    click(*textCategory);
    settle(0.1);
    auto tiles = viewsOf<iconViewView>(screen->settingsView);
    EXPECT_EQ(tiles.size(), 1u) << "the text category shows one tile";
    if (tiles.empty())
        return false;
    const size_t before = layersOf(3).size();
    const auto at = clickablePoint(*tiles.front());
    if (!at)
        return false;
    hover(*tiles.front(), *at);
    press(*tiles.front(), *at);
    auto payload = lastDragPayload(*tiles.front());
    release(*tiles.front(), *at);
    if (!payload)
        return false;
    EXPECT_TRUE(dropMime(*screen->dragView, screen->dragView->bounds().center(), *payload));
    EXPECT_TRUE(waitUntil([&] { return layersOf(3).size() == before + 1; })) << layersOf(3).size();
    if (layersOf(3).size() != before + 1)
        return false;

    // The layer settings pane's text tab, its text box, and the presenter types.
    auto bar = titleBar();
    click(*bar->buttonLayerSettings);
    auto textTab = buttonNamed(window(), "text_layer");
    EXPECT_TRUE(textTab) << "the layer settings pane shows no text tab";
    if (!textTab)
        return false;
    click(*textTab);
    std::optional<layerSettingsTextViews> views;
    EXPECT_TRUE(waitUntil([&] {
        return (views = layerSettingsTextClass::getViews()) && views->textView && views->textView->window();
    })) << "the text tab never showed";
    if (!views || !views->textView || !views->textView->window())
        return false;
    EXPECT_TRUE(views->textView->isEditable()) << "a text layer is selected: its text can be edited";
    click(*views->textView);
    EXPECT_TRUE(waitUntil([&] { return views->textView->isEditing(); })) << "the text box took no focus";
    key(Qt::Key_A, Qt::ControlModifier);
    type("Welcome to QRN");
    const auto stored = [] {
        auto text = editViewClass().getSelectedTextSymbolText(std::nullopt);
        return text ? text->string() : std::string();
    };
    EXPECT_TRUE(waitUntil([&] { return stored() == "Welcome to QRN"; })) << stored();
    // The typed text goes to the project a moment later.
    EXPECT_TRUE(waitUntil([&] { return fs::exists(project_ / "specialSymbolData.json"); }));
    textLayerId_ = layersOf(3).back();
    return stored() == "Welcome to QRN";
}
bool Journey::resizeWindow() {
    STAGE("the window doubles and comes back: the preview stays 16:9 and centred, the text follows");
    auto* screen = editor();
    auto root = std::dynamic_pointer_cast<viewLoaderView>(screen->mainView);
    auto text = layerView(textLayerId_);
    QWidget* host = hostOf(*screen->mainView);
    EXPECT_TRUE(root && text && host) << "no root view, text layer or host window";
    if (!root || !text || !host)
        return false;
    QWidget* top = host->window();
    const QSize start = top->size();
    const auto preview = [&] { return screen->parentPreviewView->frame(); };
    // The text's box as drawn, in window points.
    const auto drawnText = [&] { return text->windowRect(); };
    const auto expectFitted = [&](const char* when) {
        const qrn::Rect p = preview(), area = root->previewArea();
        EXPECT_NEAR(p.size.width / p.size.height, 16.0 / 9.0, 0.005) << when;
        EXPECT_NEAR(p.midX(), area.midX(), 1.0) << when;
        EXPECT_NEAR(p.midY(), area.midY(), 1.0) << when;
    };
    expectFitted("at the start size");
    const qrn::Rect before = preview();
    const qrn::Rect textBefore = drawnText();
    // The presenter drags the window's corner out to twice its size; the window system tells
    // the window its new size.
    top->resize(start * 2);
    EXPECT_TRUE(waitUntil([&] { return top->size() == start * 2; })) << "the window kept its size";
    settle(0.3);
    expectFitted("doubled");
    const double grown = preview().size.width / before.size.width;
    EXPECT_GT(grown, 1.5) << "the preview did not grow with the window";
    EXPECT_NEAR(drawnText().size.width / textBefore.size.width, grown, 0.02 * grown);
    EXPECT_NEAR(drawnText().size.height / textBefore.size.height, grown, 0.02 * grown);
    // The text keeps its place in the picture.
    EXPECT_NEAR((drawnText().midX() - preview().minX()) / preview().size.width,
                (textBefore.midX() - before.minX()) / before.size.width, 0.01);
    shot("doubled");

    top->resize(start);
    EXPECT_TRUE(waitUntil([&] { return top->size() == start; })) << "the window kept its size";
    settle(0.3);
    expectFitted("back");
    EXPECT_NEAR(preview().size.width, before.size.width, 1.0);
    EXPECT_NEAR(drawnText().size.width, textBefore.size.width, 1.0);
    return std::abs(preview().size.width - before.size.width) <= 1.0;
}

bool Journey::leaveWindowAtAFrame() {
    STAGE("the window is left at a frame of the presenter's");
    QWidget* top = editorTopWidget();
    QWindow* placed = top ? top->windowHandle() : nullptr;
    if (!placed)
        return false;
    // As the window manager does it: moved, then made taller by the bottom edge, the top staying
    // where it was; the window system tells the window each time.
    placed->setPosition(150, 71);
    EXPECT_TRUE(waitUntil([&] { return top->geometry().topLeft() == QPoint(150, 71); }));
    leftFrame_ = QRect(QPoint(150, 71), top->size() + QSize(40, 60));
    placed->resize(leftFrame_.size());
    EXPECT_TRUE(waitUntil([&] { return top->geometry() == leftFrame_; }));
    settle(0.3);
    return true;
}

bool Journey::gestures() {
    STAGE("flip, move, resize, rotate, flip, undo and redo");
    auto* screen = editor();
    if (!selectSlide(1))
        return false;
    const std::string id = layersOf(1).front();
    auto holder = clickLayer(id, "PNG");
    if (!holder)
        return false;
    auto drop = screen->dragView;
    const auto centre = [&] { return drop->convertPointFromView(holder->windowRect().center(), nullptr); };

    // Flip from the Arrange menu, then undo it and redo it.
    EXPECT_TRUE(menuItem(window(), "Arrange", "Flip Horizontally"));
    EXPECT_TRUE(waitUntil([&] { return layerState(1, 0).flippedH; })) << "Flip Horizontally did not flip";
    // Undo and redo take a quarter second each before they take the next one, as a presenter's
    // clicks are apart; the presenter looks at the flip a moment before taking it back.
    settle(0.6);
    EXPECT_TRUE(menuItem(window(), "Edit", "Undo"));
    EXPECT_TRUE(waitUntil([&] { return !layerState(1, 0).flippedH; })) << "Undo did not take the flip back";
    settle(0.4);
    EXPECT_NEAR(layerState(1, 0).rotation, 0.0, 1e-6);
    EXPECT_TRUE(titleBar()->buttonRedo->isEnabled()) << "after an undo the redo button is off";
    click(*titleBar()->buttonRedo);
    EXPECT_TRUE(waitUntil([&] { return layerState(1, 0).flippedH; })) << "Redo did not flip again";
    settle(0.4);

    // Move: 60 to the right and 30 up.
    const auto start = layerState(1, 0);
    auto from = centre();
    drag(*drop, from, {from.x + 60, from.y + 30});
    settle(0.1);
    const auto moved = layerState(1, 0);
    EXPECT_GT(moved.frame[0], start.frame[0] + 20) << "the layer did not move right";
    EXPECT_NE(moved.frame[1], start.frame[1]) << "the layer did not move vertically";
    EXPECT_EQ(moved.frame[2], start.frame[2]);

    // Resize by the corner handle, outwards.
    auto resize = handle(-2);
    EXPECT_TRUE(resize) << "no resize handle on the selected layer";
    if (resize) {
        // Away from the layer's centre, along the diagonal.
        auto r = drop->convertPointFromView(resize->windowRect().center(), nullptr);
        const auto c = centre();
        const double length = std::hypot(r.x - c.x, r.y - c.y);
        hover(*drop, r);
        drag(*drop, r, {r.x + 40 * (r.x - c.x) / length, r.y + 40 * (r.y - c.y) / length});
        settle(1.0);
    }
    const auto resized = layerState(1, 0);
    EXPECT_GT(resized.frame[2], moved.frame[2] + 10) << "the layer did not grow";

    // Rotate by the rotation handle, a quarter turn round the centre.
    auto rotate = handle(-1);
    EXPECT_TRUE(rotate) << "no rotation handle on the selected layer";
    if (rotate) {
        auto r = drop->convertPointFromView(rotate->windowRect().center(), nullptr);
        const auto c = centre();
        hover(*drop, r);
        drag(*drop, r, {c.x + (r.y - c.y), c.y - (r.x - c.x)}, 12);
    }
    const auto rotated = layerState(1, 0);
    // Radians: about a quarter turn.
    EXPECT_GT(std::abs(rotated.rotation), 1.0) << "the layer did not turn";
    EXPECT_LT(std::abs(rotated.rotation), 2.2) << "the layer turned too far";

    // A flip straight after the release, before the turn has settled: both are undone in turn
    // and redone.
    EXPECT_TRUE(menuItem(window(), "Arrange", "Flip Vertically"));
    EXPECT_TRUE(waitUntil([&] { return layerState(1, 0).flippedV; })) << "Flip Vertically did not flip";
    settle(0.6);
    EXPECT_TRUE(menuItem(window(), "Edit", "Undo"));
    EXPECT_TRUE(waitUntil([&] { return !layerState(1, 0).flippedV; })) << "Undo did not take the flip back";
    settle(0.4);
    EXPECT_TRUE(menuItem(window(), "Edit", "Undo"));
    EXPECT_TRUE(waitUntil([&] { return std::abs(layerState(1, 0).rotation - resized.rotation) < 1e-6; }))
        << "Undo did not take the turn back";
    settle(0.4);
    EXPECT_TRUE(menuItem(window(), "Edit", "Redo"));
    EXPECT_TRUE(waitUntil([&] { return std::abs(layerState(1, 0).rotation - rotated.rotation) < 1e-6; }))
        << "Redo did not turn the layer again";
    settle(0.4);
    EXPECT_TRUE(menuItem(window(), "Edit", "Redo"));
    EXPECT_TRUE(waitUntil([&] { return layerState(1, 0).flippedV; })) << "Redo did not flip again";
    settle(0.4);

    {
        // Group and Ungroup stand in the Arrange menu greyed on the editing screen, as Bring
        // Forward does; choosing them changes nothing.
        const auto model = persistentDataStorageClass().buildProjectDictionary();
        const auto sibling = menuItemEnabled(window(), "Arrange", "Bring Forward");
        for (const char* item : {"Group", "Ungroup"}) {
            const auto enabled = menuItemEnabled(window(), "Arrange", item);
            EXPECT_TRUE(enabled.has_value()) << "Arrange > " << item << " is missing";
            EXPECT_EQ(enabled, sibling) << "Arrange > " << item;
            menuItem(window(), "Arrange", item);
        }
        settle(0.1);
        EXPECT_EQ(firstDifference(persistentDataStorageClass().buildProjectDictionary(), model), "")
            << "grouping changed the project";
    }
    return true;
}
bool Journey::quickGestures() {
    STAGE("a quick flick moves and resizes by the whole of it");
    auto* screen = editor();
    auto holder = clickLayer(layersOf(1).back(), "GIF");
    if (!holder)
        return false;
    auto drop = screen->dragView;
    const auto centre = [&] { return drop->convertPointFromView(holder->windowRect().center(), nullptr); };
    const size_t k = layersOf(1).size() - 1;

    // A move of 100 points in two mouse events.
    const auto start = layerState(1, k);
    const auto from = centre();
    drag(*drop, from, {from.x + 100, from.y}, 2);
    settle(0.2);
    EXPECT_NEAR(layerState(1, k).frame[0] - start.frame[0], 100, 1)
        << "the move lost some of the mouse's travel";

    // The corner handle pulled 30 points outwards in two events: the picture keeps its ratio,
    // so its height follows the vertical travel.
    auto resize = handle(-2);
    EXPECT_TRUE(resize) << "no resize handle on the selected layer";
    if (!resize)
        return true;
    const auto before = layerState(1, k);
    const auto r = drop->convertPointFromView(resize->windowRect().center(), nullptr);
    const double up = r.y > centre().y ? 30 : -30;
    hover(*drop, r);
    drag(*drop, r, {r.x + up * 4 / 3, r.y + up}, 2);
    settle(0.3);
    EXPECT_NEAR(layerState(1, k).frame[3] - before.frame[3], 30, 1)
        << "the resize lost some of the mouse's travel";
    return true;
}

bool Journey::turnFlipUndo() {
    STAGE("a turn with a pause, a flip; undo steps back through the pause, redo to the release");
    auto* screen = editor();
    const size_t k = layersOf(1).size() - 1;
    auto holder = layerView(layersOf(1).back());
    auto turn = handle(-1);
    EXPECT_TRUE(holder && turn) << "the GIF is not selected with its handles";
    if (!holder || !turn)
        return true;
    auto drop = screen->dragView;
    const auto before = layerState(1, k);
    // The presenter's hand rests a moment halfway through the turn, then goes on and lets go.
    const auto from = drop->convertPointFromView(turn->windowRect().center(), nullptr);
    hover(*drop, from);
    press(*drop, from);
    hover(*drop, {from.x + 10.0, from.y - 20.0});
    settle(0.3);
    const double paused = layerState(1, k).rotation;
    const qrn::Point at{from.x + 30.0, from.y - 60.0};
    hover(*drop, at);
    release(*drop, at);
    settle(0.3);
    const double turned = layerState(1, k).rotation;
    EXPECT_GT(std::abs(paused - before.rotation), 0.05) << "the GIF did not turn before the pause";
    EXPECT_GT(std::abs(turned - paused), 0.05) << "the GIF did not turn after the pause";

    EXPECT_TRUE(menuItem(window(), "Arrange", "Flip Vertically"));
    EXPECT_TRUE(waitUntil([&] { return layerState(1, k).flippedV != before.flippedV; }))
        << "Flip Vertically did not flip";
    settle(0.6);
    EXPECT_TRUE(menuItem(window(), "Edit", "Undo"));
    EXPECT_TRUE(waitUntil([&] { return layerState(1, k).flippedV == before.flippedV; }))
        << "Undo did not take the flip back";
    // Each Undo and Redo goes one step: the pause is one, the rest of the turn the other.
    const auto step = [&](const char* item, double want, const char* what) {
        settle(0.4);
        EXPECT_TRUE(menuItem(window(), "Edit", item));
        EXPECT_TRUE(waitUntil([&] { return std::abs(layerState(1, k).rotation - want) < 1e-6; }))
            << item << " did not bring back " << what << ": the GIF stands at " << layerState(1, k).rotation
            << " radians, not " << want;
    };
    step("Undo", paused, "the turn at the pause");
    step("Undo", before.rotation, "the GIF before the turn");
    step("Redo", paused, "the turn at the pause");
    step("Redo", turned, "the turn at the release");
    // Back to where the stage began, for the stages after it.
    step("Undo", paused, "the turn at the pause");
    step("Undo", before.rotation, "the GIF before the turn");
    settle(0.4);
    return true;
}

bool Journey::reorderLayers() {
    STAGE("reorder layers");
    // Every slide's layers go above the camera, so that they show over the presenter; on slide 1
    // the GIF and the PNG change places on the way.
    if (!selectSlide(1))
        return false;
    const auto first = layersOf(1);
    if (first.size() != 2)
        return false;
    const std::string png = first[0], gif = first[1];
    EXPECT_TRUE(dragTile(gif, "-8"));
    EXPECT_TRUE(dragTile(png, gif));
    EXPECT_EQ(layersOf(1), (std::vector<std::string>{gif, png}));
    for (size_t slide : {2u, 3u}) {
        if (!selectSlide(slide))
            return false;
        EXPECT_TRUE(dragTile(layersOf(slide).front(), "-8"));
    }
    const auto above = previewLayerClass().getFirstLayerAboveVideoArray();
    for (size_t slide = 1; slide <= 3 && slide < above.size(); ++slide)
        EXPECT_EQ(above[slide], layersOf(slide).front())
            << "slide " << slide << " is not all above the camera";
    return true;
}
namespace {

// The two photos of the filters stage, as large as the movie and 16:9 like the preview, so each
// fills it: transparent but for a box in the middle. Over a blue box, a red one with a window of
// the key's own green (its defaults) in it.
const QColor keyGreen(32, 255, 0);
const QPointF windowCentre(0.5, 0.5), redRing(0.375, 0.5);

bool writePhoto(const fs::path& file, QColor box, QRect boxRect, std::optional<QRect> window) {
    QImage photo(1600, 900, QImage::Format_ARGB32);
    photo.fill(Qt::transparent);
    QPainter painter(&photo);
    painter.fillRect(boxRect, box);
    if (window)
        painter.fillRect(*window, keyGreen);
    painter.end();
    return photo.save(QString::fromStdString(file.string()), "PNG");
}

// A picture's colour at fractions of it (from its top left).
QColor colourIn(const QImage& picture, QPointF at) {
    if (picture.isNull())
        return {};
    return picture.pixelColor(std::min(picture.width() - 1, int(picture.width() * at.x())),
                              std::min(picture.height() - 1, int(picture.height() * at.y())));
}

bool nearColour(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 60 && std::abs(a.green() - b.green()) < 60 &&
           std::abs(a.blue() - b.blue()) < 60;
}

// A picture of the preview's shape shows the keyed photo: the blue photo through the key's
// window, the red box round it.
void expectKeyedPhoto(const QImage& picture, const std::string& where) {
    EXPECT_TRUE(nearColour(colourIn(picture, windowCentre), Qt::blue))
        << where << " shows " << colourIn(picture, windowCentre).name().toStdString() << " in the window";
    EXPECT_TRUE(nearColour(colourIn(picture, redRing), Qt::red)) << where << " shows no red box";
}

// What the editing screen's preview shows now.
QImage previewShown() {
    auto* screen = editor();
    auto* host = screen ? qrn::qt::hostWidget(window()) : nullptr;
    return host ? host->grab(host->toQt(screen->dragView->windowRect())).toImage() : QImage();
}

} // namespace

bool Journey::filters() {
    STAGE("a key at its defaults on a photo, the photo moved in the layer list");
    auto* screen = editor();
    if (!selectSlide(1))
        return false;
    const fs::path backdrop = base_ / "backdrop.png", framed = base_ / "framed.png";
    if (!writePhoto(backdrop, Qt::blue, QRect(640, 330, 320, 240), std::nullopt) ||
        !writePhoto(framed, Qt::red, QRect(560, 270, 480, 360), QRect(680, 360, 240, 180)))
        return false;
    auto drop = screen->dragView;
    const size_t before = layersOf(1).size();
    EXPECT_TRUE(dropFiles(*drop, drop->bounds().center(), {backdrop}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 1; }));
    EXPECT_TRUE(dropFiles(*drop, drop->bounds().center(), {framed}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(1).size() == before + 2; }));
    if (layersOf(1).size() != before + 2)
        return false;
    const std::string under = layersOf(1)[before], keyed = layersOf(1)[before + 1];

    // The photo's tile selects it; the filter tab of the layer settings shows its filters, and
    // the key's row is ticked, its colour and range left as they come.
    auto tile = layerTile(keyed);
    if (!tile)
        return false;
    click(*tile);
    EXPECT_TRUE(waitUntil([&] { return previewLayerClass().getSelectedLayer() == std::stoi(keyed); }));
    click(*titleBar()->buttonLayerSettings);
    auto tab = buttonNamed(window(), "layer_filters");
    EXPECT_TRUE(tab) << "the layer settings pane shows no filter tab";
    if (!tab)
        return false;
    click(*tab);
    std::shared_ptr<filterOrderedListSelectionArea> keyRow;
    EXPECT_TRUE(waitUntil([&] {
        for (auto& area : viewsOf<filterOrderedListSelectionArea>(editor()->settingsView))
            for (auto& icon : viewsOf<qrn::ui::ImageView>(area->superview()))
                if (icon->imageName() == "ChromaKeyRgb")
                    keyRow = area;
        return keyRow != nullptr;
    })) << "the filter tab shows no key";
    if (!keyRow)
        return false;
    click(*keyRow);
    EXPECT_TRUE(waitUntil([&] {
        const auto flags = filterClass().getLayerFilter();
        return flags.size() > 1 && flags[1].size() == before + 2 && flags[1].back()[0];
    })) << "the key's row did not switch the key on";
    EXPECT_TRUE(waitUntil([] { return nearColour(colourIn(previewShown(), windowCentre), Qt::blue); }))
        << "the key does not show in the preview";

    // Under the blue photo and back over it in the layer list.
    EXPECT_TRUE(dragTile(keyed, under));
    EXPECT_TRUE(dragTile(keyed, under));
    EXPECT_EQ(layersOf(1).back(), keyed);
    settle(0.5);
    expectKeyedPhoto(previewShown(), "after the move, the preview");
    return true;
}

bool Journey::keyedPhotoInTheTake() {
    STAGE("the keyed photo, moved in the layer list, in the studio and the movie");
    // Slide 1 showed in the studio's first shot and shows in the movie until the first step.
    expectKeyedPhoto(studioShots_.size() > 1 ? studioShots_[1] : QImage(), "the studio");
    auto reader = qrn::media::VideoTrackReader::open(movie_.string());
    ASSERT_FALSE_RETURN(!reader.isOk() || stepTimes_.empty(), "no movie or no step to look before");
    auto frame = (*reader)->frameAt(stepTimes_[0] - 0.3);
    ASSERT_FALSE_RETURN(!frame.isOk(), "no frame of slide 1 in the movie");
    expectKeyedPhoto((*reader)->image(*frame), "the movie");
    return true;
}
bool Journey::scripts() {
    STAGE("a script per slide");
    auto bar = titleBar();
    click(*bar->buttonScriptSettings);
    scripts_ = {"", "Good evening and welcome. Tonight the weather turns.",
                "A storm comes in from the west by midnight.",
                "That is all from us. Thank you for watching."};
    for (size_t slide = 1; slide <= 3; ++slide) {
        if (!selectSlide(slide))
            return false;
        std::shared_ptr<qrn::ui::TextView> editorView;
        EXPECT_TRUE(waitUntil([&] {
            auto views = viewsOf<qrn::ui::TextView>(editor()->settingsView);
            for (auto& v : views)
                if (v->isEditable())
                    editorView = v;
            return editorView != nullptr;
        })) << "the script pane shows no script to type into";
        if (!editorView)
            return false;
        // The first script is begun by a click on the empty script's icon in the middle of the
        // pane: the text takes the keyboard there as anywhere in the pane.
        auto icon = slide == 1 ? buttonNamed(window(), "script_pane") : nullptr;
        if (slide == 1) {
            EXPECT_TRUE(icon && !icon->isHiddenOrHasHiddenAncestor()) << "no empty-script icon on show";
        }
        if (icon)
            clickAt(*icon, icon->bounds().center());
        else
            click(*editorView);
        EXPECT_TRUE(waitUntil([&] { return editorView->isEditing(); })) << "the script took no focus";
        type(scripts_[slide]);
        EXPECT_TRUE(waitUntil([&] { return scriptOf(slide) == scripts_[slide]; }))
            << "slide " << slide << " keeps the script \"" << scriptOf(slide) << "\"";
    }
    return true;
}

bool Journey::save() {
    STAGE("Save");
    qrn::ui::WindowPtr window;
    editor(&window);
    auto bar = titleBar();
    if (!bar || !window)
        return false;
    click(*bar->buttonSaveProject);
    EXPECT_EQ(window->title(), "talk - saved");
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; }));
    // The write is half a second behind; then the file holds the model.
    const qrn::Json model = persistentDataStorageClass().buildProjectDictionary();
    EXPECT_TRUE(waitUntil([&] {
        return firstDifference(readJson(project_ / "projectData.json"), model).empty();
    })) << "the saved project differs from the model";
    saved_ = readJson(project_ / "projectData.json");
    return !saved_.is_null();
}

bool Journey::leaveTitleBarAboveTheScreen() {
    STAGE("the window is left with its title bar above the screen");
    QWidget* top = editorTopWidget();
    QWindow* placed = top ? top->windowHandle() : nullptr;
    if (!placed)
        return false;
    // Dragged up past the screen's top edge. The next launch brings the title bar back where it
    // can be taken hold of, which moves the window once more while the project opens.
    placed->setPosition(leftFrame_.x(), -300);
    EXPECT_TRUE(waitUntil([&] { return top->geometry().top() < 0; }))
        << "the window stayed at " << top->geometry().y();
    leftFrame_ = top->geometry();
    leftAboveTheScreen_ = true;
    // Then into full screen, and closed from there: the frame left before it is the one to come
    // back, not the screen's.
    EXPECT_TRUE(menuItem(window(), "View", "Enter Full Screen"));
    EXPECT_TRUE(waitUntil([&] { return top->isFullScreen() && top->geometry().top() >= 0; }))
        << "the window did not go full screen";
    // The layers took the larger picture and the project was written with them; reopened in the
    // frame left before, they take that picture's size again.
    EXPECT_TRUE(waitUntil([&] {
        return firstDifference(readJson(project_ / "projectData.json"),
                               persistentDataStorageClass().buildProjectDictionary())
            .empty();
    })) << "the project was not written in full screen";
    savedInFullScreen_ = readJson(project_ / "projectData.json");
    return true;
}

bool Journey::closeProject() {
    STAGE("close");
    qrn::ui::WindowPtr window;
    editor(&window);
    if (!window)
        return false;
    // A presenter takes longer than the landing screen's busy time after New (2 s); a quicker
    // close would leave the next launch's in-process landing screen busy.
    if (auto landing = landingClass::getLandingViewController())
        waitUntil([&] { return !landing->getActionInProgress(); });
    EXPECT_TRUE(menuItem(*window, "File", "Close"));
    return true;
}

// --- Second launch

Ending Journey::secondLaunch() {
    if (!landing(true) || !reopenFromRecent() || !windowWhereLeft())
        return stop();
    if (!openStudio() || !openAutocue() || !autocueClearOfTheStudio() || !record() ||
        !stepByNextAssetCard() || !stepByLayerClick() || !counterOnTheLastSlide() || !stopRecording() ||
        !waitForExport() || !keyedPhotoInTheTake() || !play() || !saveMovie() || !backToEditing() ||
        !selectedTileAfterStudio() || !selectionKeptOnABackdropSlide())
        return stop();
    if (!studioAgainAfterAMove() || !cameraButtonLitAfterAHandOver() || !handOverDuringATake() || !quit())
        return stop();
    return Ending::appEnds;
}

void Journey::afterSecondLaunch() {
    STAGE("after Quit");
    EXPECT_TRUE(terminated_);
}

bool Journey::reopenFromRecent() {
    STAGE("reopen from the recent list");
    auto* screen = controllerIn<landingController>();
    auto list = screen ? screen->recentProjectsScrollview() : nullptr;
    if (!list || list->documentView()->subviews().empty())
        return false;
    click(*list->documentView()->subviews().front());
    qrn::ui::WindowPtr window;
    EXPECT_TRUE(waitUntil([&] { return editor(&window) && editViewClass().getEditViewSelected(); }))
        << "the project never opened";
    if (!editor())
        return false;
    EXPECT_TRUE(waitUntil([&] { return window->title() == "talk"; })) << window->title();
    EXPECT_TRUE(waitUntil([] { return persistentDataStorageClass().getInProgressBool(); }));
    const auto reopened = [] { return byPlace(persistentDataStorageClass().buildProjectDictionary()); };
    EXPECT_TRUE(waitUntil([&] { return firstDifference(reopened(), byPlace(saved_)).empty(); }))
        << "the reopened model differs from the saved one at "
        << firstDifference(reopened(), byPlace(saved_));
    for (size_t slide = 1; slide <= 3 && slide < scripts_.size(); ++slide)
        EXPECT_EQ(scriptOf(slide), scripts_[slide]) << "the script of slide " << slide << " after reopening";
    bool textKept = false;
    for (auto& slide : attributedStringStorageClass().getTextSymbolStringArray())
        for (auto& text : slide)
            textKept = textKept || text.string() == "Welcome to QRN";
    EXPECT_TRUE(textKept) << "the typed text layer's words are gone after reopening";
    return true;
}

namespace {

void waitForPictureWorkers(const qrn::graphics::Layer& layer) {
    if (const auto& worker = layer.offThreadPicture())
        worker->waitUntilIdle();
    for (const auto& sublayer : layer.sublayers())
        waitForPictureWorkers(*sublayer);
}

// The studio's picture is drawn on a worker thread, so on a busy machine a grab soon after a
// step can still show the slide before it. Each round lets the window hand the worker what it
// shows now and waits for that picture; the last round puts it on screen.
void showFinishedStudioPicture(const qrn::ui::View& view, qrn::qt::HostWidget& host) {
    for (int round = 0; round < 3; ++round) {
        host.flush();
        if (view.layer())
            waitForPictureWorkers(*view.layer());
        settle(0.05);
    }
    host.flush();
}

} // namespace

bool Journey::windowWhereLeft() {
    STAGE("the window comes back where the presenter left it");
    QWidget* top = editorTopWidget();
    if (!top)
        return false;
    const auto shown = [&] {
        const QRect g = top->geometry();
        return std::to_string(g.x()) + ", " + std::to_string(g.y()) + ", " + std::to_string(g.width()) +
               " x " + std::to_string(g.height());
    };
    // Left with its title bar above the screen, it comes back as left but brought down onto it.
    const auto cameBack = [&] {
        const QRect g = top->geometry();
        return leftAboveTheScreen_ ? g.size() == leftFrame_.size() && g.x() == leftFrame_.x() &&
                                         top->frameGeometry().top() >= 0 && g.top() < 100
                                   : g == leftFrame_;
    };
    EXPECT_TRUE(waitUntil(cameBack)) << "the window came back at " << shown();
    return true;
}

bool Journey::studioAgainAfterAMove() {
    STAGE("moved once after the studio, the window stays there when the studio opens again");
    QWidget* top = editorTopWidget();
    if (!top || !titleBar())
        return false;
    top->windowHandle()->setPosition(640, 20);
    EXPECT_TRUE(waitUntil([&] { return top->geometry().topLeft() == QPoint(640, 20); }));
    const QRect moved = top->geometry();
    enterStudio();
    settle(0.2);
    EXPECT_EQ(top->geometry(), moved) << "the studio put the window back where it was before the move";
    auto back = studio() ? buttonNamed(studioWindow(), "editor_view") : nullptr;
    if (!back)
        return false;
    click(*back);
    EXPECT_TRUE(waitUntil([] { return editor() && !recordViewClass().getRecordViewSelected(); }))
        << "the editing screen did not come back";
    return editor() != nullptr && top->geometry() == moved;
}

void Journey::keepStudioShot(int slide) {
    auto* screen = studio();
    if (!screen || !screen->recordingView)
        return;
    auto* host = qrn::qt::hostWidget(studioWindow());
    if (!host)
        return;
    const qrn::Rect picture = screen->recordingView->windowRect();
    if (studioShots_.size() <= size_t(slide)) {
        studioShots_.resize(size_t(slide) + 1);
        studioShotsLater_.resize(size_t(slide) + 1);
        layerAreas_.resize(size_t(slide) + 1);
    }
    showFinishedStudioPicture(*screen->recordingView, *host);
    studioShots_[size_t(slide)] = host->grab(host->toQt(picture)).toImage();
    settle(0.5);
    showFinishedStudioPicture(*screen->recordingView, *host);
    studioShotsLater_[size_t(slide)] = host->grab(host->toQt(picture)).toImage();
    layerAreas_[size_t(slide)].clear();
    for (auto& id : slideLayers_[size_t(slide)])
        if (auto holder = studioLayer(id)) {
            const qrn::Rect r = holder->windowRect().intersection(picture);
            if (r.isEmpty())
                continue;
            layerAreas_[size_t(slide)].push_back(QRectF(
                (r.minX() - picture.minX()) / picture.width(), (picture.maxY() - r.maxY()) / picture.height(),
                r.width() / picture.width(), r.height() / picture.height()));
        }
}

namespace {

int colourDistance(const QImage& a, const QImage& b, int x, int y) {
    const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
    return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
}

} // namespace

int Journey::slideIn(const QImage& frame, std::string* why) const {
    // For each slide: of the pixels that show its layers (see studioShotsLater_), the share that
    // the frame shows alike. The frame shows the slide whose layers it shows best, by far.
    int best = 0;
    double bestShare = 0, secondShare = 0;
    for (size_t k = 1; k < studioShots_.size(); ++k) {
        const QImage shot = studioShots_[k].convertToFormat(QImage::Format_RGB32);
        if (shot.isNull() || layerAreas_[k].empty())
            continue;
        const QImage later = studioShotsLater_[k].convertToFormat(QImage::Format_RGB32);
        std::vector<QImage> others;
        for (size_t j = 1; j < studioShots_.size(); ++j)
            if (j != k && !studioShots_[j].isNull())
                others.push_back(studioShots_[j].convertToFormat(QImage::Format_RGB32));
        const QImage scaled = frame.scaled(shot.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                  .convertToFormat(QImage::Format_RGB32);
        long layerPixels = 0, alike = 0;
        for (const QRectF& f : layerAreas_[k]) {
            const QRect r(int(f.x() * shot.width()), int(f.y() * shot.height()),
                          std::max(1, int(f.width() * shot.width())),
                          std::max(1, int(f.height() * shot.height())));
            for (int y = r.top(); y <= r.bottom() && y < shot.height(); ++y)
                for (int x = r.left(); x <= r.right() && x < shot.width(); ++x) {
                    if (colourDistance(shot, later, x, y) > 60)
                        continue;
                    const bool distinct = std::all_of(others.begin(), others.end(), [&](const QImage& o) {
                        return colourDistance(shot, o, x, y) > 150;
                    });
                    if (!distinct)
                        continue;
                    ++layerPixels;
                    if (colourDistance(scaled, shot, x, y) <= 90)
                        ++alike;
                }
        }
        if (why)
            *why += " slide " + std::to_string(k) + ": " + std::to_string(alike) + " of " +
                    std::to_string(layerPixels) + " layer pixels alike;";
        if (layerPixels < 20)
            continue;
        const double share = double(alike) / double(layerPixels);
        if (share > bestShare) {
            secondShare = bestShare;
            bestShare = share;
            best = int(k);
        } else {
            secondShare = std::max(secondShare, share);
        }
    }
    // Another slide's layers score little: where they leave the camera picture showing, the
    // moving test picture can match by chance (up to 37 % of a slide's layer pixels was seen,
    // against 98 % for the slide shown). An animated layer in another phase may lower the right
    // slide's share, never to that.
    if (bestShare < 0.2 || bestShare < 2 * secondShare)
        return 0;
    return best;
}

bool Journey::openStudio() {
    STAGE("studio");
    if (!selectSlide(1))
        return false;
    slideLayers_ = previewLayerClass().getLayerArray();
    auto* screen = enterStudio();
    if (!screen)
        return false;
    EXPECT_EQ(shownWindows().size(), 1u);
    // The camera (the test device) comes up; the record button then takes a press.
    EXPECT_TRUE(waitUntil(
        [&] {
            return screen->recordButton && screen->recordButton->isEnabled() &&
                   !screen->recordButton->isHiddenOrHasHiddenAncestor();
        },
        15))
        << "the record button never became ready";
    // The studio opens on slide 1: its layers show, the others' do not.
    EXPECT_EQ(slideShownInStudio(), 1);
    shot("studio");
    {
        SCOPED_TRACE("awaits a mend: the next-asset card shows the next slide's layers");
        expectCardShows(2);
    }
    return true;
}

bool Journey::openAutocue() {
    STAGE("open the autocue (awaits a mend: the studio's autocue button opens the autocue window)");
    auto button = buttonNamed(studioWindow(), "teleprompter_autocue");
    EXPECT_TRUE(button) << "the studio title bar has no autocue button";
    if (!button)
        return true;
    click(*button);
    EXPECT_TRUE(waitUntil([] { return autocueDisplayController::current() != nullptr; }))
        << "the autocue button opened no autocue window";
    if (auto autocue = autocueDisplayController::current()) {
        EXPECT_TRUE(autocue->window() && autocue->window()->isVisible());
        EXPECT_EQ(shownWindows().size(), 2u);
        // It shows the script of the slide on show.
        EXPECT_EQ(autocueText(), scripts_[1]);
        autocueStart_ = autocue->textFieldTopConstraint() ? autocue->textFieldTopConstraint()->value() : 0;
    }
    return true;
}

bool Journey::record() {
    STAGE("record");
    auto* screen = studio();
    click(*screen->recordButton);
    // A countdown, then the take runs.
    EXPECT_TRUE(waitUntil([] { return captureSessionClass().getStartedRecording(); }, 10))
        << "recording never started";
    if (!captureSessionClass().getStartedRecording())
        return false;
    EXPECT_TRUE(recordViewClass().getRecordingInProgress());
    // The take's first picture is the movie's start: the steps below land well after it.
    EXPECT_TRUE(waitUntil([] { return recordViewClass().getRecordingStartDate().has_value(); }))
        << "the take's first picture never came";
    // The countdown clip goes a second after the take starts; then the slide is on show.
    EXPECT_TRUE(waitUntil([&] { return screen->playbackView && screen->playbackView->isHidden(); }))
        << "the countdown stays over the picture";
    settle(0.2);
    keepStudioShot(1);
    shot("recording");
    // The elapsed time runs.
    EXPECT_TRUE(waitUntil([&] {
        return screen->timerTextView && screen->timerTextView->string() != "00:00" &&
               !screen->timerTextView->string().empty();
    })) << "the timer shows "
        << (screen->timerTextView ? screen->timerTextView->string() : "nothing");
    {
        SCOPED_TRACE("awaits a mend: the autocue scrolls the slide's script while recording");
        if (auto autocue = autocueDisplayController::current();
            autocue && autocue->textFieldTopConstraint()) {
            const double before = autocue->textFieldTopConstraint()->value();
            EXPECT_TRUE(waitUntil([&] { return autocue->textFieldTopConstraint()->value() != before; }))
                << "the autocue's script does not move while recording";
        } else {
            ADD_FAILURE() << "no autocue window to scroll";
        }
    }
    return true;
}

bool Journey::stepByNextAssetCard() {
    STAGE("step by the next-asset card");
    auto* screen = studio();
    settle(1.0);
    EXPECT_TRUE(screen->nextAssetPreview && !screen->nextAssetPreview->isHiddenOrHasHiddenAncestor())
        << "no next-asset card to click";
    if (!screen->nextAssetPreview)
        return false;
    click(*screen->nextAssetPreview);
    EXPECT_TRUE(waitUntil([] { return stepsTimed() == 1; })) << "a click on the next-asset card did not step";
    EXPECT_EQ(slideShownInStudio(), 2);
    settle(0.2);
    keepStudioShot(2);
    {
        SCOPED_TRACE("awaits a mend: the next-asset card shows the next slide's layers");
        expectCardShows(3);
    }
    if (autocueDisplayController::current()) {
        SCOPED_TRACE("the autocue follows the step");
        EXPECT_TRUE(waitUntil([&] { return autocueText() == scripts_[2]; })) << autocueText();
    }
    return true;
}

bool Journey::stepByLayerClick() {
    STAGE("step by a layer click (awaits a mend: a click on a studio layer steps)");
    settle(1.0);
    auto holder = studioLayer(slideLayers_[2].empty() ? "" : slideLayers_[2].front());
    EXPECT_TRUE(holder) << "slide 2's layer is not in the studio's picture";
    if (!holder)
        return true;
    click(*holder);
    EXPECT_TRUE(waitUntil([] { return stepsTimed() == 2; }))
        << "a click on a layer of the picture did not step";
    EXPECT_EQ(slideShownInStudio(), 3);
    if (slideShownInStudio() == 3) {
        settle(0.2);
        keepStudioShot(3);
    }
    return true;
}

bool Journey::counterOnTheLastSlide() {
    STAGE("the slide counter on the last slide");
    auto* screen = studio();
    if (!screen || !screen->nextAssetNumberOne || !screen->nextAssetNumberTwo)
        return false;
    // Nothing comes after the last slide: the counter stops at it, never past the total.
    EXPECT_EQ(slideShownInStudio(), 3);
    EXPECT_TRUE(screen->nextAssetPreview->isHiddenOrHasHiddenAncestor());
    EXPECT_EQ(screen->nextAssetNumberOne->string() + " " + screen->nextAssetNumberTwo->string(), "3 /  3");
    return true;
}

bool Journey::stopRecording() {
    STAGE("stop");
    settle(1.0);
    auto* screen = studio();
    // The first time is the take's start.
    const auto timing = recordViewClass().getAssetTimingArray();
    EXPECT_FALSE(timing.empty());
    if (!timing.empty()) {
        EXPECT_EQ(timing.front(), 0.0);
    }
    stepTimes_.assign(timing.begin() + (timing.empty() ? 0 : 1), timing.end());
    shot("stop");
    click(*screen->recordButton);
    EXPECT_TRUE(waitUntil([] { return !captureSessionClass().getStartedRecording(); }))
        << "the take did not stop";
    // The steps came a second or more apart, after the take began.
    ASSERT_FALSE_RETURN(stepTimes_.empty(), "no step was timed");
    EXPECT_GT(stepTimes_[0], 0.5);
    for (size_t i = 1; i < stepTimes_.size(); ++i)
        EXPECT_GT(stepTimes_[i], stepTimes_[i - 1] + 0.5);
    return true;
}

bool Journey::waitForExport() {
    STAGE("wait for the export");
    EXPECT_TRUE(waitUntil([] { return recordViewClass().getPlaybackShown(); }, 60))
        << "the export never finished";
    const auto url = recordViewClass().getPlaybackFileURL();
    EXPECT_TRUE(url && fs::exists(*url));
    if (!url || !fs::exists(*url))
        return false;
    movie_ = *url;
    auto info = qrn::media::loadMovieInfo(movie_.string());
    EXPECT_TRUE(info.isOk());
    if (!info.isOk())
        return false;
    auto reader = qrn::media::VideoTrackReader::open(movie_.string());
    EXPECT_TRUE(reader.isOk());
    if (!reader.isOk())
        return false;
    auto& video = **reader;
    const qrn::Size size = video.naturalSize();
    EXPECT_GE(size.width, 640);
    EXPECT_NEAR(size.width / size.height, 16.0 / 9.0, 0.02) << size.width << "x" << size.height;
    // The movie lasts as long as the take: past the last step, and a few seconds at most.
    EXPECT_GT(video.duration(), stepTimes_.empty() ? 1.0 : stepTimes_.back() + 0.5);
    EXPECT_LT(video.duration(), 15.0);
    // The test microphone's tone is heard in every second of the movie, not only at its end.
    if (const auto sound = soundcheck::soundOf(movie_.string()); sound) {
        const auto levels = soundcheck::levelsPerSecond(*sound, 0, int(sound->seconds()));
        EXPECT_GE(levels.size(), 2u);
        for (size_t s = 0; s < levels.size(); ++s)
            EXPECT_GT(levels[s], -40.0) << "second " << s << " of the movie is silent";
    } else {
        ADD_FAILURE() << "the movie has no sound";
    }
    // Each cut changes the slide: the picture on each side of it shows the slide of that side.
    std::vector<double> cuts = stepTimes_;
    for (size_t i = 0; i < cuts.size(); ++i) {
        const int before = int(i) + 1, after = int(i) + 2;
        auto a = video.frameAt(cuts[i] - 0.3);
        auto b = video.frameAt(cuts[i] + 0.3);
        EXPECT_TRUE(a.isOk() && b.isOk()) << "no frame around the cut at " << cuts[i];
        if (!a.isOk() || !b.isOk())
            continue;
        const QImage left = video.image(*a), right = video.image(*b);
        std::string whyLeft, whyRight;
        const int leftSlide = slideIn(left, &whyLeft), rightSlide = slideIn(right, &whyRight);
        EXPECT_EQ(leftSlide, before) << "before the cut at " << cuts[i] << " s:" << whyLeft;
        EXPECT_EQ(rightSlide, after) << "after the cut at " << cuts[i] << " s:" << whyRight;
        if (leftSlide != before || rightSlide != after) {
            // With JOURNEY_SHOTS set, the movie and the pictures stay there (the journey's own
            // folder goes at its end), to tell a misplaced cut from a poor likeness.
            if (const char* folder = std::getenv("JOURNEY_SHOTS")) {
                std::error_code ignored;
                fs::copy_file(movie_, fs::path(folder) / "take.mov", fs::copy_options::overwrite_existing,
                              ignored);
                const std::string at = std::string(folder) + "/cut" + std::to_string(i + 1);
                left.save(QString::fromStdString(at + "-before.png"));
                right.save(QString::fromStdString(at + "-after.png"));
                if (size_t(after) < studioShots_.size())
                    studioShots_[size_t(after)].save(QString::fromStdString(at + "-studio.png"));
            }
        }
    }
    return true;
}

bool Journey::play() {
    STAGE("play");
    auto* screen = studio();
    auto players = viewsOf<qrn::media::PlayerView>(screen->playbackView);
    EXPECT_EQ(players.size(), 1u) << "the take is not shown for playback";
    if (players.empty())
        return false;
    auto& view = *players.front();
    const auto layout = view.playerLayer()->controlsLayout();
    clickAt(view, layout.playButton.center());
    EXPECT_TRUE(waitUntil([&] { return view.player() && view.player()->rate() == 1.0; }))
        << "play did not start";
    const double t0 = view.player() ? view.player()->currentTime() : 0;
    EXPECT_TRUE(waitUntil([&] { return view.player() && view.player()->currentTime() > t0 + 0.3; }))
        << "the playback does not advance";
    clickAt(view, layout.playButton.center());
    EXPECT_TRUE(waitUntil([&] { return view.player() && view.player()->rate() == 0.0; }))
        << "pause did not stop";
    // The presenter enlarges the window to watch the take: the player fills the grown picture.
    QWidget* host = qrn::qt::hostWidget(studioWindow());
    QWidget* top = host ? host->QWidget::window() : nullptr;
    EXPECT_TRUE(top) << "no studio window";
    if (!top)
        return false;
    const QSize start = top->size();
    const qrn::Rect area = screen->playbackView->bounds();
    top->resize(start + QSize(200, 120));
    EXPECT_TRUE(waitUntil([&] { return screen->playbackView->bounds().size.width > area.size.width; }))
        << "the picture did not grow with the window";
    EXPECT_EQ(view.frame(), screen->playbackView->bounds()) << "the player kept its old size";
    top->resize(start);
    EXPECT_TRUE(waitUntil([&] { return top->size() == start; })) << "the window kept its size";
    settle(0.3);
    return view.frame() == screen->playbackView->bounds();
}

bool Journey::saveMovie() {
    STAGE("save the movie");
    const fs::path target = base_ / "movies" / "evening.mov";
    answerNextFileDialog(base_ / "movies" / "evening");
    auto button = buttonNamed(studioWindow(), "save_playback");
    EXPECT_TRUE(button) << "no save button for the take";
    if (!button)
        return false;
    const int dialogs = fileDialogsAnswered();
    // A quit asked for earlier makes every modal panel return at once, unanswered.
    EXPECT_FALSE(quitRequested()) << "the application was asked to quit before the movie could be saved";
    click(*button);
    EXPECT_TRUE(waitUntil([&] { return fs::exists(target); }))
        << "the movie was not saved (save panels answered: " << fileDialogsAnswered() - dialogs << ")";
    EXPECT_FALSE(fs::exists(movie_)) << "the take's export is moved, not copied";
    EXPECT_TRUE(waitUntil([] { return !recordViewClass().getPlaybackShown(); }));
    if (fs::exists(target)) {
        auto info = qrn::media::loadMovieInfo(target.string());
        EXPECT_TRUE(info.isOk() && info->hasVideo() && info->hasAudio());
    }
    return true;
}

bool Journey::backToEditing() {
    STAGE("back to editing");
    auto button = buttonNamed(studioWindow(), "editor_view");
    EXPECT_TRUE(button);
    if (!button)
        return false;
    click(*button);
    EXPECT_TRUE(waitUntil([] {
        return editor() && editViewClass().getEditViewSelected() &&
               !recordViewClass().getRecordViewSelected();
    })) << "the editing screen did not come back";
    if (!editor())
        return false;
    // The strip and the preview are the project's again.
    EXPECT_EQ(slideCount(), 4u);
    EXPECT_EQ(previewLayerClass().getLayerArray(), slideLayers_);
    for (size_t slide = 1; slide <= 3; ++slide) {
        auto tile = slideTile(slide);
        EXPECT_TRUE(tile && !tile->isHiddenOrHasHiddenAncestor()) << "slide " << slide << "'s tile";
    }
    return true;
}

bool Journey::selectedTileAfterStudio() {
    STAGE("back from the studio, the selected layer's tile is highlighted with the camera tile first");
    const auto row = layersOf(size_t(previewLayerClass().getSelectedAssetIndex()));
    auto camera = layerTile("-8");
    EXPECT_TRUE(camera) << "no camera tile in the layer list";
    if (!camera)
        return true;
    for (const auto& id : row)
        if (auto tile = layerTile(id)) {
            EXPECT_GT(tile->frame().minX(), camera->frame().minX()) << "the camera tile is not first";
        }
    const auto selected = previewLayerClass().getSelectedLayer();
    EXPECT_TRUE(selected) << "no layer is selected after the studio";
    if (!selected)
        return true;
    auto tile = layerTile(std::to_string(*selected));
    EXPECT_TRUE(tile && tile->layer()->borderColour() == stylingClass().getColour(5))
        << "the selected layer's tile is not highlighted";
    return true;
}

bool Journey::selectionKeptOnABackdropSlide() {
    STAGE("on a slide with a backdrop picture, the layer selected stays selected after the studio");
    auto* screen = editor();
    if (!screen || !selectSlide(2))
        return false;
    const fs::path backdrop = base_ / "stage.jpg", photo = base_ / "guest.jpg";
    {
        QImage picture(1600, 900, QImage::Format_RGB888);
        picture.fill(QColor(200, 170, 90));
        EXPECT_TRUE(picture.save(QString::fromStdString(backdrop.string()), "JPG", 80));
        QImage guest(800, 600, QImage::Format_RGB888);
        guest.fill(QColor(60, 120, 200));
        EXPECT_TRUE(guest.save(QString::fromStdString(photo.string()), "JPG", 80));
    }
    // A picture dropped on the slide's tile becomes its backdrop; one dropped on the preview a layer.
    const size_t before = layersOf(2).size();
    auto tile = slideTile(2);
    EXPECT_TRUE(tile && dropFiles(*tile, tile->bounds().center(), {backdrop}));
    EXPECT_TRUE(waitUntil([&] {
        const auto& ids = previewLayerClass().getAssetBackgroundIDArray();
        return layersOf(2).size() == before + 1 && ids.size() > 1 && ids[1].has_value();
    })) << "the slide got no backdrop";
    auto drop = screen->dragView;
    EXPECT_TRUE(dropFiles(*drop, {drop->bounds().width() * 0.7, drop->bounds().height() * 0.4}, {photo}));
    EXPECT_TRUE(waitUntil([&] { return layersOf(2).size() == before + 2; })) << "the photo gave no layer";
    if (layersOf(2).size() != before + 2)
        return false;
    // The photo, not the slide's lowest layer, is the one the presenter works on.
    const std::string chosen = layersOf(2).back();
    EXPECT_NE(chosen, layersOf(2).front());
    auto chosenTile = layerTile(chosen);
    EXPECT_TRUE(chosenTile) << "the photo has no tile in the layer list";
    if (!chosenTile)
        return false;
    click(*chosenTile);
    EXPECT_TRUE(waitUntil([&] { return previewLayerClass().getSelectedLayer() == std::stoi(chosen); }));

    enterStudio();
    auto back = studio() ? buttonNamed(studioWindow(), "editor_view") : nullptr;
    EXPECT_TRUE(back) << "no way back from the studio";
    if (!back)
        return false;
    click(*back);
    EXPECT_TRUE(waitUntil([] { return editor() && !recordViewClass().getRecordViewSelected(); }))
        << "the editing screen did not come back";
    if (!editor())
        return false;
    settle(0.3);
    EXPECT_EQ(previewLayerClass().getSelectedAssetIndex(), 2);
    EXPECT_EQ(previewLayerClass().getSelectedLayer(), std::stoi(chosen))
        << "the studio left another layer selected than the presenter's";
    chosenTile = layerTile(chosen);
    EXPECT_TRUE(chosenTile && chosenTile->layer()->borderColour() == stylingClass().getColour(5))
        << "the selected photo's tile is not outlined";
    shot("backdrop-selection-after-studio");
    // The backdrop and the photo stay: the takes after this one show them in their movies.
    return true;
}

bool Journey::quit() {
    STAGE("Quit");
    auto windows = shownWindows();
    if (windows.empty())
        return false;
    EXPECT_TRUE(menuItem(*windows.front(), "QRN", "Quit QRN"));
    terminated_ = qrn::ui::Application::shared().isTerminating();
    return true;
}

// --- The studio's faults a presenter meets

namespace {

// Where a view lies on the screen, in Qt's pixels.
QRect onScreen(const qrn::ui::View& view) {
    QWidget* host = hostOf(view);
    if (!host)
        return {};
    const qrn::Rect b = view.bounds();
    const QPoint a = host->mapToGlobal(pixelOf(view, {b.minX(), b.maxY()}));
    const QPoint z = host->mapToGlobal(pixelOf(view, {b.maxX(), b.minY()}));
    return QRect(a, z).normalized();
}

// The window's whole frame on the screen, the window manager's title bar and border included.
QRect frameOnScreen(qrn::ui::Window& window) {
    QWidget* host = qrn::qt::hostWidget(window);
    return host ? host->window()->frameGeometry() : QRect();
}

// As a second launch of QRN does first: it hands its package to the QRN already running.
bool secondLaunchOpens(const fs::path& package) {
    return qrn::ui::Application::forwardToRunningInstance(qrn::ui::Application::instanceName(),
                                                          {package.string()});
}

} // namespace

bool Journey::autocueClearOfTheStudio() {
    STAGE("the autocue first opens clear of the studio's controls, later where it was left");
    auto autocue = autocueDisplayController::current();
    auto* screen = studio();
    if (!autocue || !autocue->window() || !screen)
        return true;
    const QRect frame = frameOnScreen(*autocue->window());
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(area.contains(frame)) << "the autocue lies partly off the screen";
    std::vector<std::pair<std::string, std::shared_ptr<qrn::ui::View>>> controls = {
        {"record button", screen->recordButton},
        {"elapsed time", screen->timerTextView},
        {"next-slide card", screen->nextAssetParent}};
    for (const char* name : {"editor_view", "teleprompter_autocue", "video_settings"})
        controls.emplace_back(name, buttonNamed(studioWindow(), name));
    for (const auto& [name, view] : controls) {
        EXPECT_TRUE(view) << "no " << name << " in the studio";
        if (view) {
            EXPECT_FALSE(frame.intersects(onScreen(*view))) << "the autocue covers the studio's " << name;
        }
    }
    // Where the studio leaves no room beside it, the autocue stands at the screen's top edge,
    // by the camera; with room, it covers none of the picture.
    const QRect studioFrame = frameOnScreen(studioWindow());
    if (area.right() - studioFrame.right() < 620 && studioFrame.left() - area.left() < 620) {
        EXPECT_LE(std::abs(frame.top() - area.top()), 2) << "the autocue is not at the screen's top";
    } else {
        EXPECT_FALSE(frame.intersects(onScreen(*screen->recordingView))) << "the autocue covers the picture";
    }
    shot("autocue");

    // Moved by the presenter and closed, it opens again where it was left.
    QWidget* top = qrn::qt::hostWidget(*autocue->window())->QWidget::window();
    const QPoint moved = top->geometry().topLeft() + QPoint(-30, 40);
    top->windowHandle()->setPosition(moved);
    EXPECT_TRUE(waitUntil([&] { return top->geometry().topLeft() == moved; })) << "the autocue did not move";
    top->close();
    EXPECT_TRUE(waitUntil([] {
        auto c = autocueDisplayController::current();
        return !c || !c->window() || c->window()->isClosed();
    })) << "the autocue did not close";
    click(*buttonNamed(studioWindow(), "teleprompter_autocue"));
    EXPECT_TRUE(waitUntil([&] {
        auto c = autocueDisplayController::current();
        return c && c->window() && !c->window()->isClosed() && c != autocue;
    })) << "the autocue did not open again";
    autocue = autocueDisplayController::current();
    if (!autocue || !autocue->window())
        return false;
    QWidget* again = qrn::qt::hostWidget(*autocue->window())->QWidget::window();
    EXPECT_TRUE(waitUntil([&] { return again->geometry().topLeft() == moved; }))
        << "the autocue opened again at " << again->geometry().x() << ", " << again->geometry().y();
    EXPECT_TRUE(waitUntil([] { return autocueText() != ""; }));
    autocueStart_ = autocue->textFieldTopConstraint() ? autocue->textFieldTopConstraint()->value() : 0;
    return true;
}

bool Journey::cameraButtonLitAfterAHandOver() {
    STAGE("a project handed over by a second launch with the camera shown: its button is lit");
    if (!editor() || !titleBar())
        return false;
    encore_ = base_ / "projects" / "encore.qrn3ks";
    std::error_code error;
    fs::copy(project_, encore_, fs::copy_options::recursive, error);
    EXPECT_FALSE(error) << error.message();
    auto bar = titleBar();
    // Lit as the presenter sees it: the icon drawn in its changed colour.
    const auto lit = [&] {
        auto icon = bar->buttonDisplayVideo->svgIconObj();
        auto view = icon ? icon->getImageView() : nullptr;
        auto picture = view && !view->subviews().empty()
                           ? std::dynamic_pointer_cast<qrn::ui::ImageView>(view->subviews()[0])
                           : nullptr;
        return picture && picture->contentTintColour() == icon->changedTint();
    };
    click(*bar->buttonDisplayVideo);
    EXPECT_TRUE(waitUntil([] { return !previewLayerClass().getVideoLayerView()->isHidden(); }))
        << "the camera did not show";
    EXPECT_TRUE(lit());
    // Off to another settings pane: the switch leaves every other icon plain.
    click(*(bar->settingsMenuSelected == 1 ? bar->buttonSymbolSettings : bar->buttonScriptSettings));
    EXPECT_TRUE(waitUntil([&] { return !lit(); })) << "the pane switch left the camera button lit";

    EXPECT_TRUE(secondLaunchOpens(encore_)) << "the running QRN took no hand-over";
    EXPECT_TRUE(waitUntil([] {
        qrn::ui::WindowPtr shown;
        return editor(&shown) && shown->title() == "encore" &&
               persistentDataStorageClass().getInProgressBool() &&
               previewLayerClass().getAssetArray().size() == 4;
    })) << "the handed-over project did not open";
    EXPECT_FALSE(previewLayerClass().getVideoLayerView()->isHidden()) << "the camera went";
    EXPECT_TRUE(waitUntil(lit)) << "the camera is shown, its button is not lit";
    shot("encore");
    return editor() != nullptr;
}

bool Journey::handOverDuringATake() {
    STAGE("a project handed over during a take opens once the take is dismissed");
    auto* screen = enterStudio();
    if (!screen)
        return false;
    EXPECT_TRUE(waitUntil([&] { return screen->recordButton && screen->recordButton->isEnabled(); }, 15));
    // The script to read, then the take.
    click(*buttonNamed(studioWindow(), "teleprompter_autocue"));
    EXPECT_TRUE(waitUntil([] {
        auto c = autocueDisplayController::current();
        return c && c->window() && !c->window()->isClosed();
    })) << "the autocue did not open";
    auto autocue = autocueDisplayController::current();
    click(*screen->recordButton);
    EXPECT_TRUE(waitUntil([] { return recordViewClass().getRecordingStartDate().has_value(); }, 15))
        << "the take never started";
    settle(0.5);
    EXPECT_EQ(qrn::ui::Window::keyWindow(), &studioWindow())
        << "the record button's click left the studio behind";
    // Yet the autocue stays in front: it belongs to the studio's window, which the window manager
    // never raises over it.
    {
        auto* studioHost = qrn::qt::hostWidget(studioWindow());
        auto* autocueHost = autocue && autocue->window() ? qrn::qt::hostWidget(*autocue->window()) : nullptr;
        EXPECT_TRUE(studioHost && autocueHost && autocueHost->windowHandle() &&
                    autocueHost->windowHandle()->transientParent() == studioHost->windowHandle())
            << "the autocue does not belong to the studio's window";
    }

    // The presenter double-clicks the first project in the file manager.
    EXPECT_TRUE(secondLaunchOpens(project_));
    const auto label = screen->videoLabel;
    EXPECT_TRUE(waitUntil([&] { return label && !label->isHidden() && !label->stringValue().empty(); }, 5))
        << "the studio says nothing of the handed-over project";
    if (label) {
        EXPECT_EQ(label->stringValue(), "\"talk\" will open after this take");
    }
    // The launch brought QRN forward, the script the presenter reads on top.
    EXPECT_TRUE(autocue && autocue->window() && autocue->window()->isKeyWindow())
        << "the studio came forward over the autocue";
    shot("hand-over-during-take");
    settle(1.0);
    EXPECT_TRUE(captureSessionClass().getStartedRecording()) << "the take stopped";
    EXPECT_EQ(studioWindow().title(), "encore");

    click(*screen->recordButton);
    EXPECT_TRUE(waitUntil([] { return recordViewClass().getPlaybackShown(); }, 60))
        << "the take's movie never came";
    const auto movie = recordViewClass().getPlaybackFileURL();
    EXPECT_TRUE(movie && fs::exists(*movie));
    if (movie && fs::exists(*movie)) {
        auto info = qrn::media::loadMovieInfo(*movie);
        EXPECT_TRUE(info.isOk() && info->duration > 1.0) << "the take was cut short";
    }
    // Nothing opens while the movie waits for the presenter.
    settle(1.0);
    EXPECT_TRUE(studio() && recordViewClass().getPlaybackShown());
    EXPECT_EQ(studioWindow().title(), "encore");

    auto dismiss = buttonNamed(studioWindow(), "dismiss_playback");
    EXPECT_TRUE(dismiss) << "no dismiss button for the take";
    if (!dismiss)
        return false;
    click(*dismiss);
    EXPECT_TRUE(waitUntil([] {
        qrn::ui::WindowPtr shown;
        return editor(&shown) && editViewClass().getEditViewSelected() && shown->title() == "talk" &&
               persistentDataStorageClass().getInProgressBool();
    })) << "the handed-over project did not open after the take";
    EXPECT_EQ(fs::path(persistentDataStorageClass().getProjectDirectory()), project_);
    return editor() != nullptr;
}

} // namespace journey
