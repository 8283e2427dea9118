#pragma once
// The symbol picker: a strip of category icons and a grid of 50 x 50 symbol tiles that the
// presenter drags onto the preview. Animated symbols carry the grid's running tile number as the
// tag of their hidden first-frame view; the drop asks for their frames by that tag.
#include <QImage>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/foundation/value.h"
#include "platform/ui/view.h"

class svgIconClass;

class imagePickerClass {
  public:
    // The grid's scroll view is inset this much at top and bottom.
    int rectTop = 10;

    static constexpr double tileSize = 50, tilePitch = 52, menuIconSize = 38, menuMargin = 43;
    static constexpr int columns = 6;

    // The category names, which are also their icons' names.
    static const std::vector<std::pair<int, std::string>>& categoryTable();
    // Per category one group of entries: [kind, name...]; kind 1 still, 2 address, 3 animated.
    static const std::vector<std::vector<std::vector<qrn::Value::List>>>& symbolTable();

    // The grid area and the category strip of the pane just loaded.
    void setViews(std::shared_ptr<qrn::ui::View> gridArea, std::shared_ptr<qrn::ui::View> strip);
    // Builds the strip and opens on the first category.
    void initializeScrollViews();
    // The category strip: as many icons as fit, centred between margins of 43 points.
    void displayMenu(int tab);
    void removeHighlighFromAllMenuIcons();
    // Highlights the category's icon and replaces the grid with its tiles.
    void scrollViewSymbols(int selectedIndex);
    // The frames of the animated tile tagged `tag`; empty when the grid has no such tile.
    std::vector<QImage> getImages(int tag);
    // The same frames with their names, as a drop stores them.
    std::vector<std::pair<std::string, QImage>> getNamedImages(int tag);
    std::vector<std::shared_ptr<svgIconClass>> getMenuIcons();

    static void resetForTesting();
};
