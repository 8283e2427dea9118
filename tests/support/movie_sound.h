#pragma once
// A movie's sound as a player hears it beside the pictures, for comparing one movie's sound with
// another's: its level second by second and how far one lies behind the other. Decoded here with
// FFmpeg directly rather than through the app's readers, so that what they get wrong shows.
#include <optional>
#include <string>
#include <vector>

namespace soundcheck {

struct movieSound {
    static constexpr int rate = 48000;
    // Mono, at `rate`, sample 0 at the time of the movie's first picture (its first sound
    // sample when it has no pictures); silence where the movie has no sound.
    std::vector<float> samples;
    double seconds() const { return double(samples.size()) / rate; }
};

// Null when the file cannot be read or has no sound.
std::optional<movieSound> soundOf(const std::string& path);

// The level (RMS, dB below full scale) of each whole second from `from` up to `until`; digital
// zero reads as -120 dB.
std::vector<double> levelsPerSecond(const movieSound& sound, int from, int until);

struct soundOffset {
    double seconds = 0;     // how much later `later` has the sound of `earlier`
    double correlation = 0; // of the two at that offset, from -1 to 1: near 1 when they match
};

// By cross-correlation over the first `length` seconds of each (both whole when 0), within
// `maxSeconds` either way. Needs sound that never repeats itself (noise, not a steady tone).
soundOffset offsetBetween(const movieSound& earlier, const movieSound& later, double length = 0,
                          double maxSeconds = 1.0);

struct soundComparison {
    // Of each whole second of the movie.
    std::vector<double> recordingLevels, movieLevels;
    double worstLevelDifference = 0; // dB
    soundOffset offset;              // of the movie's sound from the recording's
};

// A movie's sound against the recording it was made from, over the movie's whole seconds. Null
// when either has no sound.
std::optional<soundComparison> compareSound(const std::string& recording, const std::string& movie);

} // namespace soundcheck
