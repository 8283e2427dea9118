#pragma once
// How good an exported movie is against the pictures QRN handed its H.264 encoder: those
// pictures are dumped to a raw file while the export runs, then the movie is decoded on the
// 1/60 s grid and each frame compared with the picture on show at that time.
#include <memory>
#include <string>
#include <vector>

namespace benchsupport {

// While it lives, every picture of `width` x `height` handed to an encoder is appended to a raw
// yuv420p file, with its time.
class encoderInputDump {
  public:
    encoderInputDump(const std::string& path, int width, int height);
    ~encoderInputDump();
    encoderInputDump(const encoderInputDump&) = delete;
    encoderInputDump& operator=(const encoderInputDump&) = delete;

    const std::string& path() const { return path_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The times of the pictures in the file, in order; false when a write failed.
    const std::vector<double>& times() const;
    bool ok() const;

  private:
    struct state;
    std::string path_;
    int width_, height_;
    std::shared_ptr<state> state_;
};

struct movieQuality {
    bool ok = false;
    int frames = 0;           // on the grid
    int samples = 0;          // video samples in the movie
    double meanPsnr = 0;      // dB, Y, over the grid's frames
    double worstPsnr = 0;     // dB, Y
    double videoMbitPerS = 0; // the video stream's size over its length
};

// The movie against the dumped pictures, frame by frame on a grid of `frameDuration`.
movieQuality measureMovie(const std::string& movie, const encoderInputDump& dump, double frameDuration);

} // namespace benchsupport
