#include "platform/media/composition.h"

#include <algorithm>

namespace qrn::media {

Result<MovieAsset> MovieAsset::load(const std::string& path) {
    auto info = loadMovieInfo(path);
    if (!info)
        return info.status();
    return MovieAsset{path, std::move(info).value()};
}

Status CompositionTrack::insertTimeRange(const TimeRange& range, const MovieAsset& asset,
                                         const MovieTrack& track, double at) {
    if (track.mediaType != type_)
        return Status::failure("The source track is of another media type");
    if (range.duration <= 0 || range.start < 0 || at < 0)
        return Status::failure("The time range is empty or negative");
    // A little slack for durations rounded by the container.
    if (range.end() > track.duration + 0.1)
        return Status::failure("The time range lies beyond the end of the source track");
    Segment s;
    s.sourcePath = asset.path;
    s.sourceStream = track.streamIndex;
    s.source = range;
    s.at = at;
    if (type_ == MediaType::Video)
        s.naturalSize = asset.info.naturalSize;
    // A segment that spans the insertion point is split around the new one.
    std::vector<Segment> tails;
    for (auto& other : segments_) {
        double end = other.at + other.source.duration;
        if (other.at < at && end > at) {
            Segment tail = other;
            double head = at - other.at;
            tail.source.start += head;
            tail.source.duration -= head;
            tail.at = at;
            other.source.duration = head;
            tails.push_back(tail);
        }
    }
    segments_.insert(segments_.end(), tails.begin(), tails.end());
    for (auto& other : segments_)
        if (other.at >= at)
            other.at += range.duration;
    segments_.push_back(s);
    std::sort(segments_.begin(), segments_.end(),
              [](const Segment& a, const Segment& b) { return a.at < b.at; });
    return Status::ok();
}

Status CompositionTrack::insertTimeRange(const TimeRange& range, const MovieAsset& asset, double at) {
    const MovieTrack* track = asset.firstTrack(type_);
    if (!track)
        return Status::failure(std::string("The movie has no ") +
                               (type_ == MediaType::Video ? "video" : "audio") + " track");
    return insertTimeRange(range, asset, *track, at);
}

double CompositionTrack::duration() const {
    double end = 0;
    for (auto& s : segments_)
        end = std::max(end, s.at + s.source.duration);
    return end;
}

Size CompositionTrack::naturalSize() const {
    return segments_.empty() ? Size{} : segments_.front().naturalSize;
}

CompositionTrack* Composition::addTrack(MediaType type) {
    tracks_.push_back(std::unique_ptr<CompositionTrack>(new CompositionTrack(type, int(tracks_.size()) + 1)));
    return tracks_.back().get();
}

std::vector<CompositionTrack*> Composition::tracks(MediaType type) const {
    std::vector<CompositionTrack*> out;
    for (auto& t : tracks_)
        if (t->mediaType() == type)
            out.push_back(t.get());
    return out;
}

CompositionTrack* Composition::firstTrack(MediaType type) const {
    for (auto& t : tracks_)
        if (t->mediaType() == type)
            return t.get();
    return nullptr;
}

double Composition::duration() const {
    double d = 0;
    for (auto& t : tracks_)
        d = std::max(d, t->duration());
    return d;
}

Size Composition::naturalSize() const {
    auto* v = firstTrack(MediaType::Video);
    return v ? v->naturalSize() : Size{};
}

VideoComposition VideoComposition::forComposition(const Composition& composition) {
    VideoComposition vc;
    Size size = composition.naturalSize();
    if (size.width > 0 && size.height > 0)
        vc.renderSize = size;
    VideoCompositionInstruction instruction;
    instruction.timeRange = {0, composition.duration()};
    if (auto* v = composition.firstTrack(MediaType::Video))
        instruction.layerInstructions.push_back({v->trackId(), AffineTransform::identity()});
    instruction.backgroundColour = Colour::black();
    vc.instructions.push_back(instruction);
    return vc;
}

VideoComposition VideoComposition::forAsset(const MovieAsset& asset) {
    VideoComposition vc;
    if (asset.info.naturalSize.width > 0 && asset.info.naturalSize.height > 0)
        vc.renderSize = asset.info.naturalSize;
    if (asset.info.frameRate > 0)
        vc.frameDuration = 1.0 / asset.info.frameRate;
    VideoCompositionInstruction instruction;
    instruction.timeRange = {0, asset.info.duration};
    if (auto* v = asset.firstTrack(MediaType::Video))
        instruction.layerInstructions.push_back({v->trackId, AffineTransform::identity()});
    instruction.backgroundColour = Colour::black();
    vc.instructions.push_back(instruction);
    return vc;
}

} // namespace qrn::media
