#pragma once
// Plays a movie in real time: pictures go to the main thread (the newest one; late frames are
// skipped), sound to the audio output. Play, pause, rate, seek, mute, current time and a
// callback at the end of the movie, all called on the main thread.
#include "platform/foundation/geometry.h"
#include "platform/foundation/result.h"

#include <QImage>

#include <functional>
#include <memory>
#include <string>

namespace qrn::media {

class Player : public std::enable_shared_from_this<Player> {
  public:
    // A player whose movie could not be opened reports it in status() and plays nothing.
    static std::shared_ptr<Player> create(const std::string& path);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    Status status() const;
    const std::string& path() const;
    Size naturalSize() const;
    double duration() const;

    // play() is setRate(1); pause() is setRate(0). Sound plays at rate 1 only.
    void play();
    void pause();
    void setRate(double rate);
    double rate() const;
    void seek(double time);
    double currentTime() const;
    void setMuted(bool muted);
    bool isMuted() const;
    // True when a sound server took the player's sound.
    bool hasAudioOutput() const;

    // Main thread. The picture is Format_ARGB32_Premultiplied.
    void setFrameHandler(std::function<void(const QImage& image, double time)> handler);
    // The size in pixels the pictures are shown at, when smaller than the movie's own: the
    // pictures from then on come at that size, scaled as they are decoded rather than by whoever
    // draws them, and a paused player shows its picture again at the new size. An empty size (the
    // default) gives the movie's own. Any thread.
    void setPictureSize(int width, int height);
    // Main thread, once each time playback runs into the end.
    void setEndOfMediaHandler(std::function<void()> handler);

    struct Impl;

  private:
    Player();
    std::shared_ptr<Impl> d;
};

} // namespace qrn::media
