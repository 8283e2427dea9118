#pragma once
// Editing a movie out of pieces of others, and describing how its pictures are composed:
// a composition holds video and audio tracks made of time ranges of source movies; a video
// composition gives the render size, the frame duration, the instructions and, optionally, a
// layer tree into which each video frame is drawn and which is rendered at every media time.
#include "platform/foundation/colour.h"
#include "platform/foundation/geometry.h"
#include "platform/foundation/result.h"
#include "platform/graphics/layer.h"
#include "platform/media/movie_reader.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qrn::media {

struct TimeRange {
    double start = 0, duration = 0;
    double end() const { return start + duration; }
    bool contains(double t) const { return t >= start && t < end(); }
};

// A movie opened for editing: its file and tracks.
struct MovieAsset {
    std::string path;
    MovieInfo info;
    static Result<MovieAsset> load(const std::string& path);
    const MovieTrack* firstTrack(MediaType type) const { return info.firstTrack(type); }
};

class CompositionTrack {
  public:
    struct Segment {
        std::string sourcePath;
        int sourceStream = -1;
        TimeRange source; // in the source movie
        double at = 0;    // where it starts in the composition
        Size naturalSize; // video only
    };

    MediaType mediaType() const { return type_; }
    int trackId() const { return id_; }
    // Inserts `range` of `track` of `asset` at `at`; later segments move on by its length.
    Status insertTimeRange(const TimeRange& range, const MovieAsset& asset, const MovieTrack& track,
                           double at);
    // The same with the asset's first track of this track's type; fails when it has none.
    Status insertTimeRange(const TimeRange& range, const MovieAsset& asset, double at);
    const std::vector<Segment>& segments() const { return segments_; }
    bool isEmpty() const { return segments_.empty(); }
    double duration() const;
    Size naturalSize() const;

  private:
    friend class Composition;
    CompositionTrack(MediaType t, int id) : type_(t), id_(id) {}
    MediaType type_;
    int id_;
    std::vector<Segment> segments_;
};

class Composition {
  public:
    // An empty composition with no tracks.
    Composition() = default;
    // A new empty track; ids count from 1.
    CompositionTrack* addTrack(MediaType type);
    std::vector<CompositionTrack*> tracks(MediaType type) const;
    CompositionTrack* firstTrack(MediaType type) const;
    double duration() const;
    // Of the first video track, zero without one.
    Size naturalSize() const;

  private:
    std::vector<std::unique_ptr<CompositionTrack>> tracks_;
};

// How one source track is placed on the render canvas: the transform maps the source picture
// (its pixel space, origin top-left, y down) onto the canvas.
struct LayerInstruction {
    int trackId = 1;           // a composition track's id, or the id of the source track it was made from
    AffineTransform transform; // from time zero on
};

struct VideoCompositionInstruction {
    TimeRange timeRange;
    std::vector<LayerInstruction> layerInstructions;
    Colour backgroundColour = Colour::clear();
};

// Draws the composed video into `videoLayer` (stretched to its bounds, then its content
// filters) and renders `parentLayer` with everything in it at each media time.
struct AnimationTool {
    graphics::LayerPtr parentLayer;
    graphics::LayerPtr videoLayer;
};

struct VideoComposition {
    Size renderSize{1920, 1080};
    double frameDuration = 1.0 / 30;
    std::vector<VideoCompositionInstruction> instructions;
    std::optional<AnimationTool> animationTool;

    // A composition that shows the first video track of `composition` unchanged.
    static VideoComposition forComposition(const Composition& composition);
    // One that shows the first video track of `asset` unchanged, at its size and frame rate.
    static VideoComposition forAsset(const MovieAsset& asset);
};

} // namespace qrn::media
