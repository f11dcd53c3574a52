#pragma once

#include <string>

#include "capture/picture.h"

namespace kelvara::golden {

// How far two pictures of the same size are apart, channel by channel.
struct PictureDifference {
    bool sameSize = false;
    int maxChannel = 0;          // largest difference of one channel, 0..255
    double meanChannel = 0.0;    // mean absolute difference over all channels
    double fractionWithin = 0.0; // pixels whose every channel is within the tolerance's limit
};

// Software rasterisers differ in the last bit between CPU features and
// versions: allow small differences on a few edge pixels, but not a changed
// scene (a moved shard or a different wave moves thousands of pixels by far more).
struct Tolerance {
    int channel = 8; // a pixel matches when no channel differs by more
    double minFractionWithin = 0.995;
    double maxMeanChannel = 1.0;
};

PictureDifference comparePictures(const RgbImage& expected, const RgbImage& actual,
                                  const Tolerance& tolerance);
bool matches(const PictureDifference& difference, const Tolerance& tolerance);
std::string describe(const PictureDifference& difference);

// A picture of where two pictures differ: black where equal, brighter the more
// they differ (amplified x8), for looking at a failure.
RgbImage differencePicture(const RgbImage& a, const RgbImage& b);

} // namespace kelvara::golden
