#pragma once
// The movie's frames, composed from the video track's pictures and the layers of the video
// composition's animation tool, by several workers side by side.
#include "platform/foundation/geometry.h"
#include "platform/media/av.h"
#include "platform/media/composition.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

namespace qrn::media {

// A frame of the movie to make.
struct SourceFrame {
    int index = 0;
    double time = 0;
    std::shared_ptr<const AVFrame> frame; // null: nothing on the video track at this time
    bool repeat = false;                  // looks exactly like the frame before
};

// Composes output pictures. With an animation tool whose tree allows it, the layers below and
// above the video are rendered once per state of their opacities and reused for every frame
// in that state; only the video's own branch is drawn per frame.
class Composer {
  public:
    // For frames of `out` pixels, made by up to `workers` workers at once.
    Composer(const VideoComposition& vc, Size out, int workers);
    ~Composer();
    Composer(const Composer&) = delete;
    Composer& operator=(const Composer&) = delete;

    // How many workers may compose at once: one where the tree cannot be drawn by several.
    int workers() const;

    // True when, given the same video picture, the frames at t0 and t1 come out the same: then
    // the later one is not composed again (a frame duration shorter than the source's).
    bool looksTheSame(double t0, double t1);

    // What a compose worker keeps from one frame to the next, so that a frame reuses the memory
    // of the one before instead of touching fresh memory.
    struct Scratch {
        SwsContext* scaler = nullptr;
        SwsContext* planes = nullptr;   // a picture's planes to the movie's
        av::ScaledImages scaled;        // a picture that fills the frame, at the frame's size
        QImage own;                     // a source picture at its own size
        av::FramePtr through;           // what shows through an enlarged picture, as its planes
        QImage video;                   // the video picture
        QImage canvas;                  // the composed frame
        std::vector<std::uint32_t> row; // one row of it, where it is made a row at a time
        Scratch() = default;
        Scratch(const Scratch&) = delete;
        Scratch& operator=(const Scratch&) = delete;
        ~Scratch() {
            sws_freeContext(scaler);
            sws_freeContext(planes);
        }
    };

    // Worker `w` composes the frame at time t into `movie`, a picture of the output's size in
    // 4:2:0 YUV. False when it cannot be made.
    bool composeInto(int w, const SourceFrame& f, Scratch& scratch, AVFrame* movie, SwsContext*& toMovie);

  private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace qrn::media
