#pragma once
// projectData.json as the import applies it. Every value is checked for its shape before any of
// it reaches the model, so a damaged file is refused whole instead of being half applied.
#include <optional>
#include <string>
#include <vector>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/filterClass.h"
#include "platform/foundation/geometry.h"
#include "platform/foundation/json.h"
#include "platform/foundation/result.h"
#include "platform/foundation/value.h"

// Per-asset rows hold exactly one entry per stored asset; per-layer rows exactly one entry per id
// of the asset's LAYER_ARRAY row (longer rows in the file are cut to that length).
// Numbers come within what the layout can scale and write back: coordinates, rotations, lock
// values and numbers in filter values within +-1e6 points; widths and heights 0 or from 0.01 to
// 1e6 (the stored preview's at least 1); background colours within their channels' ranges.
struct storedProjectData {
    std::vector<double> previewRect;
    std::vector<std::string> assets;
    // One entry per regular asset (position - 1).
    std::vector<std::optional<std::string>> backgroundIds;
    std::vector<std::vector<double>> backgroundColours;
    std::vector<std::vector<std::string>> layers;
    std::vector<std::optional<std::string>> firstLayerAboveVideo;
    std::vector<std::vector<imageReferenceArray>> imageReferences;
    std::vector<std::vector<std::vector<double>>> frames;
    std::vector<std::vector<double>> rotations;
    std::vector<std::vector<std::vector<double>>> originals;
    std::vector<std::vector<std::vector<bool>>> flips;
    std::vector<std::vector<std::vector<double>>> aspectLocks;
    std::vector<double> videoFrame;
    qrn::Point cropOrigin;
    qrn::Size cropSize;
    std::vector<bool> videoFilter;
    layerFilterArray layerFilter;
    layerFilterOrderArray layerFilterOrder;
    filterValuesArray videoFilterValues;
    layerFilterValuesArray layerFilterValues;
    // Carried through as stored: only their being arrays is checked.
    qrn::Value::List videoSettings;
    std::vector<std::vector<qrn::Value::List>> layerSettings;
    // The first key an object of the file holds twice (only the later value was read); empty
    // for a sound file.
    std::string repeatedKey;
};

// The whole document, or a message naming the first key that is missing or of another shape.
// filtersCount is the number of filters the program knows; every flag row must cover it.
qrn::Result<storedProjectData> readProjectData(const qrn::Json& document, size_t filtersCount);
// The same for the projectData.json of a package folder. What checkProjectDataFile read is taken
// instead of reading again while the file is still the version it checked.
qrn::Result<storedProjectData> readProjectDataFile(const std::string& directory, size_t filtersCount);
// Reads and checks a package's projectData.json as the import would, and keeps the result for
// the import that follows the check, so an open parses the file once. The check repeated on an
// unchanged file reads nothing.
qrn::Status checkProjectDataFile(const std::string& directory, size_t filtersCount);
// What checkProjectDataFile read of the package at `directory`, while the file is still the
// version it checked; null otherwise. Valid until the next check or read.
const storedProjectData* checkedProjectData(const std::string& directory);

// A layer's picture as its reference names it: one image, or the frames of an animated symbol.
// A picture that cannot be had (a missing or unreadable file, an unknown name) is the bundle
// image "cancel", so that the layer still comes back and keeps its reference.
struct layerPicture {
    qrn::ImageHandle image;
    std::optional<std::vector<qrn::ImageHandle>> frames;
};
layerPicture pictureForReference(const imageReferenceArray& reference);
