#pragma once
// Picture files as the preview draws them: decoded once into premultiplied ARGB32, the form the
// renderer and the layer filters work in, so the layers that show a file share one copy and
// nothing converts it again while drawing. Safe to call from any thread.
//
// A picture larger than the movie could ever show is decoded straight to a smaller size (the
// decoder scales while it reads where it can), so a 48-megapixel photo costs what a 4K frame
// costs instead of being refused.
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSize>

#include <memory>
#include <string>

#include "platform/foundation/result.h"

namespace qrn::imaging {

// No side of a decoded picture is longer than this.
constexpr int kLargestPictureSide = 4096;

// The size a picture of `own` pixels is decoded to: the smallest that still covers `drawn`
// pixels in both directions (its own when `drawn` is empty), keeping its proportions, never
// larger than its own, and no side longer than kLargestPictureSide.
QSize decodedPictureSize(QSize own, QSize drawn = {});

// Opens `path` for reading by the bytes of its name: Qt names files by text, which cannot name a
// path that is not valid UTF-8. Only a regular file opens (a pipe would block its reader).
bool openFileForReading(QFile& file, const std::string& path, QIODevice::OpenMode extra = {});
// A reader of the picture file at `path`, opened as above, trying the format its extension names
// first, as a reader given the file's name does. A file that cannot be opened leaves the reader
// without a device: it reads nothing and tells no size.
struct PictureFile {
    QFile file;
    QImageReader reader;
};
std::unique_ptr<PictureFile> openPictureFile(const std::string& path);

// Whether the file starts as a picture that can be read: only its header is looked at, so a
// project's many pictures can be told apart from stray files without decoding them.
bool looksLikePicture(const std::string& path);

// What one look at a picture file's header tells, for an opening that must know it of each of
// its many files: whether it starts as a picture that can be read, its own size, and whether
// it holds frames that move (a PNG never does: it is read as a still picture whatever its name).
struct PictureLook {
    bool readable = false;
    QSize size;
    bool moves = false;
};
PictureLook lookAtPicture(const std::string& path);

// The size of the reader's picture as it is shown: a photo whose file holds it turned a quarter
// (the camera's orientation tag) is read upright, its sides swapped.
QSize shownPictureSize(const QImageReader& reader);

// The size of the file's picture, which a picture held smaller carries with it: what filters
// count their pixels in (a blur's radius), so that the picture looks the same at whatever size
// it is held or drawn. A picture that carries none is at its own size.
QSize ownPictureSize(const QImage& picture);
void setOwnPictureSize(QImage& picture, QSize own);

// The file's picture, premultiplied ARGB32, at decodedPictureSize, carrying its own size; a
// failure when it cannot be opened or decoded, or read within the decode budget
// (isTooLargeToRead tells that one).
Result<QImage> readPicture(const std::string& path, QSize drawn = {});
// The same for a picture already in memory (a drop, a download).
Result<QImage> decodePicture(const QByteArray& bytes, QSize drawn = {});

// Whether a failure of readPicture or decodePicture says the picture cannot be read within the
// decode budget, rather than that the file is damaged.
bool isTooLargeToRead(const std::string& failure);
// That failure, for the file `what` names.
std::string tooLargeToRead(const std::string& what);

} // namespace qrn::imaging
