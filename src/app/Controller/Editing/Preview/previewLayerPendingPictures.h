#pragma once
// Pictures of an opened project that arrive after the screen is editable.
//
// While a project is imported, every layer that shows a picture file of the project gets a
// stand-in instead of the decoded picture: a transparent 1x1 image of its own per file, so the
// layers, thumbnails and filter entries that share a file share its stand-in. The files are
// decoded on the worker pool from the first layer on, while the import builds the screen, the
// sticky asset's and those of the selected asset and its neighbours first; once the screen is
// built, each picture is handed on the main queue to whatever still shows its stand-in. A picture that cannot
// be decoded is reported as the import reports one and replaced by the "cancel" picture, as the import does;
// one that is too large to read within the decode budget is also named in one notice once all have arrived.
//
// A picture is decoded straight to the size it is drawn at: the largest share of the movie
// frame that a layer showing it covers. The preview, the studio and the strip draw it no
// larger, so none of them needs the file's full size.
//
// Decoding starts as soon as the presenter has chosen the project and its file proved sound,
// while the screen changes; the import takes those pictures over when its layers name the same
// files at the same sizes, and lets them go otherwise.
//
// Worker threads only decode; views and model state are touched on the main thread alone. A
// delivery belongs to the opening it was made for: a later opening, or a model reset, drops
// what was still on its way.
#include <QImage>
#include <QSize>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"
#include "platform/foundation/value.h"

class previewLayerPendingPictures {
  public:
    // The presenter chose the project of the project folder, whose file was just checked: its
    // pictures start decoding on every core, for its import to take over. What an earlier choice
    // started is dropped; so is this, if no import takes it over within a few seconds.
    static void foresee();
    // Drops what foresee started (the application ends).
    static void cancelForeseen();

    // An import starts collecting: whatever an earlier opening still had on its way is dropped,
    // and what the project's choice started decoding is taken over.
    static void beginImport();
    // The import is done and its screen is built: what was decoded meanwhile is handed on, and
    // every core decodes the rest, nearest the selected asset first.
    static void startDecoding();
    // Drops the pictures on their way (another project, a reset). Decodes under way finish on
    // their threads but deliver nothing. What foresee started stays for the import.
    static void cancel();

    // While collecting: the stand-in for a picture file of the project, one per file, or null
    // when the file is not a picture in the project's images folder (the caller reports it as
    // unreadable). The first call finds every picture file the model's layers name and starts
    // decoding them, on all cores but one while the import builds the screen.
    // `reference` is the layer's, for reporting a picture that then fails to decode.
    static qrn::ImageHandle standInFor(const std::string& file, const qrn::Value::List& reference);
    static bool isCollecting();
    // While collecting: whether `file` is one of the opening's pictures and holds no frames that
    // move, as the look at it when it was found said, so its layers need not look again.
    static bool isStillPicture(const std::string& file);

    // Every picture still on its way, decoded here and now where no worker has it yet, and
    // delivered before this returns: for the studio, the export and anything else that draws
    // the layers' pictures and cannot show a stand-in.
    static void deliverAllNow();
    // Waits until every picture is decoded (not delivered: that happens on the main queue).
    static void waitUntilDecoded();

    // The exported movie's size in pixels. No layer is drawn larger anywhere, so no picture is
    // decoded larger than what covers it.
    static QSize moviePixels();

    // Pixels of the movie that a layer `points` large in the preview covers, along the layer's
    // own sides, turned by `radians` in the movie; `points` of the preview rect `fittedTo`
    // ([x, y, width, height]) when given, of the editing screen's preview otherwise.
    static QSize moviePixelsOf(qrn::Size points, double radians = 0,
                               const std::optional<std::vector<double>>& fittedTo = std::nullopt);
    // A layer showing `file` is now drawn at `drawn` pixels (it was made larger): when `held`,
    // its picture, is well below what covers that, the file is decoded again at that size and
    // handed to every view that shows `held`. False when nothing changed.
    static bool sharpen(const std::string& file, const QImage& held, QSize drawn);

    // One notice naming the picture files (by name) that are too large to show, once the
    // current event is done.
    static void tellTooLarge(std::vector<std::string> names);
    // The same for pictures of the project's images folder (`files` by name), named by the
    // slides that show them: the presenter never saw the names they are stored under.
    static void tellTooLargeOnSlides(const std::vector<std::string>& files);

    // Pictures of the current opening that have not been delivered yet, and those of a chosen
    // project its import has not taken over yet.
    static std::size_t pendingCount();
    // The current opening's files in the order the workers take them.
    static std::vector<std::string> decodeOrder();
};
