#include "Controller/Editing/SettingsPanel/Symbols/imagePickerClass.h"

#include <QUrl>

#include <cmath>
#include <map>

#include "Controller/Global/animatedImagesClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/stylingClass.h"
#include "View/Editing/SettingsPanel/Symbols/imagePickerController.h"
#include "View/Global/flippedView.h"
#include "View/Global/iconViewView.h"
#include "View/Global/svgIconView.h"
#include "platform/foundation/colour.h"
#include "platform/graphics/gradient_layer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/resources.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"

namespace {

std::shared_ptr<qrn::ui::View> gridArea;
std::shared_ptr<qrn::ui::View> categoryStrip;
// Made from the last shown category to the first: category i is at count - 1 - i.
std::vector<std::shared_ptr<svgIconClass>> menuIcons;
int shownCategory = 0;

qrn::Value::List still(const char* name) {
    return {1, name};
}

qrn::Value::List animated(const std::string& stem, bool twoDigits = true) {
    qrn::Value::List entry{3};
    for (int i = 1; i <= 6; ++i)
        entry.push_back(stem + (twoDigits ? "0" : "") + std::to_string(i));
    return entry;
}

// Symbol pictures are drawn once per process: building a grid then costs no drawing.
const QImage& namedPicture(const std::string& name) {
    static std::map<std::string, QImage> pictures;
    auto found = pictures.find(name);
    if (found == pictures.end())
        found = pictures.emplace(name, qrn::NamedImages::render(name)).first;
    return found->second;
}

void logMissing(const std::string& message) {
    dataLoggingClass().logError("imagePickerClass", message, __FILE__, __func__);
}

std::shared_ptr<iconViewView> makeTile(const qrn::Rect& frame, const qrn::Value::List& entry,
                                       int runningNumber) {
    auto tile = std::make_shared<iconViewView>(frame);
    tile->layer()->setCornerRadius(4.0);
    auto gradient = qrn::graphics::GradientLayer::make();
    gradient->setFrame(qrn::Rect(0, 0, frame.width(), frame.height()));
    gradient->setColours({colourFromHex("#0585D1FF").value_or(qrn::Colour::clear()),
                          colourFromHex("#00000000").value_or(qrn::Colour::clear())});
    gradient->setStartPoint({0, 1});
    gradient->setEndPoint({0.3, 0.3});
    tile->layer()->addSublayer(gradient);

    auto picture =
        qrn::ui::ImageView::make(qrn::Rect(0, 0, imagePickerClass::tileSize, imagePickerClass::tileSize));
    picture->setTag(0);
    tile->addSubview(picture);
    const int kind = entry.empty() ? 0 : int(entry[0].toInt());
    const std::string first = entry.size() > 1 ? entry[1].toString() : std::string();
    if (kind == 1) {
        if (!picture->setImageNamed(first))
            logMissing("Unable to retrieve local image {" + first + "}");
    } else if (kind == 2) {
        const QUrl url(QString::fromStdString(first), QUrl::StrictMode);
        QImage image;
        if (url.isValid() && url.isLocalFile() && image.load(url.toLocalFile()))
            picture->setImage(image);
        else if (!url.isValid())
            logMissing("Unable to retrieve external image {" + first + "}");
        tile->addSubview(qrn::ui::TextField::makeLabel(first, qrn::Rect(0, 0, 0, 0)));
    } else {
        picture->setTag(runningNumber);
        picture->setHidden(true);
        if (!picture->setImageNamed(first))
            logMissing("Unable to retrieve local image {" + first + "}");
        std::vector<qrn::ImageHandle> frames;
        for (size_t i = 1; i < entry.size(); ++i) {
            const QImage& frame = namedPicture(entry[i].toString());
            if (frame.isNull())
                logMissing("Unable to retrieve local image {" + entry[i].toString() + "}");
            frames.push_back(std::make_shared<const QImage>(frame));
        }
        tile->addSubview(animatedImages().createAnimatedImage(
            nullptr, 0.5, frames, {0, 0}, {imagePickerClass::tileSize, imagePickerClass::tileSize}, false,
            true));
    }
    return tile;
}

} // namespace

const std::vector<std::pair<int, std::string>>& imagePickerClass::categoryTable() {
    static const std::vector<std::pair<int, std::string>> table{
        {1, "weather"}, {1, "pollen"}, {1, "uv"},          {1, "location"},
        {1, "sports"},  {1, "travel"}, {1, "text_symbols"}};
    return table;
}

const std::vector<std::vector<std::vector<qrn::Value::List>>>& imagePickerClass::symbolTable() {
    static const std::vector<std::vector<std::vector<qrn::Value::List>>> table{
        {{animated("blizzard"),
          still("cloudsun"),
          still("cloudy"),
          animated("cloudyrain"),
          still("compass"),
          still("darkclouds"),
          still("fog"),
          animated("hailsun"),
          still("hazy"),
          animated("heavyrain"),
          animated("heavyrainsun"),
          animated("hurricane", false),
          animated("lighthailsun"),
          animated("lightning"),
          animated("lightrain"),
          animated("lightrainsun"),
          animated("sleetsun"),
          animated("snow"),
          still("sun"),
          still("temp_cold"),
          still("wind")}},
        {{still("pollen_h"), still("pollen_l"), still("pollen_m"), still("pollen_vh")}},
        {{still("uv_green")}},
        {{still("arrow_black"), still("arrow_blue"), still("arrow_green"), still("arrow_red"),
          still("arrow_white"), still("arrow_yellow"), still("pin"), still("red_pin"), still("mapPin"),
          still("mapPointer")}},
        {{still("baseball"), still("cricket"), still("football"), still("horseRacing"), still("motorsport"),
          still("olympic"), still("rugby"), still("soccer"), still("stadium"), still("tennis")}},
        {{still("trainStation"), still("airport"), still("carPark")}},
        {{still("text_main")}}};
    return table;
}

void imagePickerClass::setViews(std::shared_ptr<qrn::ui::View> grid, std::shared_ptr<qrn::ui::View> strip) {
    gridArea = std::move(grid);
    categoryStrip = std::move(strip);
}

void imagePickerClass::initializeScrollViews() {
    QRN_LOG_IN();
    if (categoryTable().empty() || !gridArea)
        return;
    gridArea->setAutoresizesSubviews(true);
    displayMenu(0);
    scrollViewSymbols(0);
}

void imagePickerClass::displayMenu(int tab) {
    QRN_LOG_IN(LogValues{{"tab", tab}});
    if (!categoryStrip)
        return;
    categoryStrip->setSubviews({});
    const qrn::Size size = categoryStrip->frame().size;
    auto background = qrn::ui::View::make(qrn::Rect(-1, 0, size.width + 2, size.height + 1));
    background->layer()->setBackgroundColour(
        qrn::namedColour("background_colour_light_dark", true).value_or(qrn::Colour::black()));
    background->layer()->setBorderWidth(1.0);
    background->layer()->setBorderColour(
        qrn::namedColour("border_colour_light_dark", true).value_or(qrn::Colour::black()));
    categoryStrip->addSubview(background);

    auto container = std::make_shared<flippedView>(categoryStrip->bounds());
    const double width = container->frame().width();
    const int fit = int(std::floor((width - 2 * menuMargin) / menuIconSize));
    const int shown = std::min(fit, int(categoryTable().size()));
    menuIcons.clear();
    const double firstX = ((width - 2 * menuMargin) - shown * menuIconSize) * 0.5 + menuMargin;
    for (int i = shown - 1; i >= 0; --i) {
        const std::string& name = categoryTable()[size_t(i)].second;
        auto icon = svgIconClass::make();
        icon->setIsButtonEnabled(true);
        auto view = svgIconView::createIconView(icon, icon->defaultColourPalletIndex(), name, 2,
                                                qrn::Rect(0, 0, menuIconSize, menuIconSize), 80);
        icon->setImageView(view);
        menuIcons.push_back(icon);
        auto holder = std::make_shared<symbolSelectionMenuIconView>(
            qrn::Rect(firstX + i * menuIconSize, 4, menuIconSize, menuIconSize));
        holder->addSubview(qrn::ui::TextField::makeMarker(i));
        holder->addSubview(view);
        container->addSubview(holder);
    }
    categoryStrip->addSubview(container);
}

void imagePickerClass::removeHighlighFromAllMenuIcons() {
    QRN_LOG_IN();
    for (const auto& icon : menuIcons)
        icon->keepChangedColour(false);
}

void imagePickerClass::scrollViewSymbols(int selectedIndex) {
    QRN_LOG_IN(LogValues{{"selectedIndex", selectedIndex}});
    if (!gridArea || selectedIndex < 0 || size_t(selectedIndex) >= symbolTable().size())
        return;
    if (!menuIcons.empty()) {
        removeHighlighFromAllMenuIcons();
        const int position = int(menuIcons.size()) - 1 - selectedIndex;
        if (position >= 0)
            menuIcons[size_t(position)]->keepChangedColour(true);
    }
    gridArea->setSubviews({});
    shownCategory = selectedIndex;
    const qrn::Size area = gridArea->frame().size;
    const int width = int(area.width);
    const double margin = width < 300 ? 0 : double((width - 300) / 2);
    for (const auto& group : symbolTable()[size_t(selectedIndex)]) {
        auto scrollView =
            qrn::ui::ScrollView::make(qrn::Rect(0, rectTop, area.width, area.height - 2 * rectTop));
        scrollView->setAutoresizesSubviews(true);
        scrollView->setAutoresizingMask(qrn::ui::HeightSizable);
        scrollView->setHasVerticalScroller(true);
        scrollView->setHasHorizontalScroller(false);
        const double rows = std::ceil(double(group.size()) / columns);
        auto document =
            std::make_shared<flippedView>(qrn::Rect(0, 0, scrollView->frame().width(), rows * tilePitch));
        for (size_t k = 0; k < group.size(); ++k) {
            const qrn::Rect frame(margin + double(k % columns) * tilePitch, double(k / columns) * tilePitch,
                                  tileSize, tileSize);
            document->addSubview(makeTile(frame, group[k], int(k) + 1));
        }
        scrollView->setDocumentView(document);
        gridArea->addSubview(scrollView);
    }
}

std::vector<QImage> imagePickerClass::getImages(int tag) {
    QRN_LOG_IN(LogValues{{"tag", tag}});
    std::vector<QImage> images;
    const auto tagged = gridArea && tag != 0 ? gridArea->viewWithTag(tag) : nullptr;
    auto* tile = tagged ? tagged->superviewPointer() : nullptr;
    if (!tile || tile->subviews().size() < 2)
        return images;
    for (const auto& frame : tile->subviews()[1]->subviews())
        images.push_back(frame->layer()->contents());
    QRN_LOG_OUT(LogValues{{"IMAGES_ARRAY", int(images.size())}});
    return images;
}

std::vector<std::pair<std::string, QImage>> imagePickerClass::getNamedImages(int tag) {
    std::vector<std::pair<std::string, QImage>> named;
    const auto images = getImages(tag);
    const auto& groups = symbolTable()[size_t(shownCategory)];
    if (images.empty() || groups.empty() || tag < 1 || size_t(tag) > groups.front().size())
        return named;
    const auto& entry = groups.front()[size_t(tag - 1)];
    for (size_t i = 0; i < images.size() && i + 1 < entry.size(); ++i)
        named.emplace_back(entry[i + 1].toString(), images[i]);
    return named;
}

std::vector<std::shared_ptr<svgIconClass>> imagePickerClass::getMenuIcons() {
    return menuIcons;
}

void imagePickerClass::resetForTesting() {
    gridArea.reset();
    categoryStrip.reset();
    menuIcons.clear();
    shownCategory = 0;
}
