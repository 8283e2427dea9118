#pragma once
// The memory picture decodes may hold. Pictures decode on several threads at once (one per core
// while a project opens), and a decode's working memory grows with the picture, not with its
// file: a small file can hold a huge picture. So each decode first says the most it will hold,
// at most kPictureDecodeBytes (a picture that can only be made whole may ask for more, up to
// kAllDecodesBytes), and waits until that fits beside what the others hold, within
// kAllDecodesBytes whatever the number of cores. Safe to use from any thread.
#include <cstddef>

namespace qrn::imaging {

// What one decode may hold at most, and all that run at the same time together.
constexpr std::size_t kPictureDecodeBytes = std::size_t(256) << 20;
constexpr std::size_t kAllDecodesBytes = std::size_t(512) << 20;

// Holds a share of the budget for as long as it lives.
class DecodeLease {
  public:
    // Waits until `bytes` (taken as kAllDecodesBytes when larger) fit beside the others' leases.
    explicit DecodeLease(std::size_t bytes);
    ~DecodeLease();
    DecodeLease(const DecodeLease&) = delete;
    DecodeLease& operator=(const DecodeLease&) = delete;

  private:
    std::size_t bytes_;
};

// The most the leases held together since the last reset, for tests and benches.
std::size_t peakLeasedBytes();
void resetPeakLeasedBytes();

} // namespace qrn::imaging
