#pragma once
// Shared set-up for the project model tests: a temporary project package and the model-side
// steps of adding assets and layers.
#include <QTemporaryDir>

#include <string>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/Model/layerDataClass.h"
#include "Controller/Global/filterClass.h"
#include "Model/attributedStringStorageClass.h"
#include "Model/persistentDataStorageClass.h"

namespace modeltest {

// A project package "Test.qrn3ks" with an images folder, taken as the project directory.
struct tempProject {
    QTemporaryDir dir;
    std::string path;
    tempProject();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// The model part of adding an asset after the existing ones: a fresh id, an empty row in every
// per-layer table and, for a regular asset, black and no background layer. It becomes the
// selected asset.
std::string addAsset(bool regular = true);
// The model part of adding a layer at the end of the selected asset.
std::string addLayer(const imageReferenceArray& reference, std::vector<double> originSize = {0, 0, 10, 10});

// Writes a small PNG of the given colour and size.
void writePng(const std::string& path, int width, int height, unsigned rgb);

} // namespace modeltest
