#include "picture_compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kelvara::golden {

PictureDifference comparePictures(const RgbImage& expected, const RgbImage& actual,
                                  const Tolerance& tolerance) {
    PictureDifference d;
    if (!holdsPicture(expected) || !holdsPicture(actual) || expected.width != actual.width ||
        expected.height != actual.height) {
        return d;
    }
    d.sameSize = true;
    uint64_t total = 0;
    uint64_t within = 0;
    const std::size_t pixels = expected.rgb.size() / 3;
    for (std::size_t k = 0; k < pixels; ++k) {
        int worst = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            const int diff = std::abs(int{expected.rgb[k * 3 + c]} - int{actual.rgb[k * 3 + c]});
            total += static_cast<uint64_t>(diff);
            worst = std::max(worst, diff);
        }
        d.maxChannel = std::max(d.maxChannel, worst);
        if (worst <= tolerance.channel) {
            ++within;
        }
    }
    d.meanChannel = static_cast<double>(total) / static_cast<double>(pixels * 3);
    d.fractionWithin = static_cast<double>(within) / static_cast<double>(pixels);
    return d;
}

bool matches(const PictureDifference& difference, const Tolerance& tolerance) {
    return difference.sameSize && difference.fractionWithin >= tolerance.minFractionWithin &&
           difference.meanChannel <= tolerance.maxMeanChannel;
}

std::string describe(const PictureDifference& d) {
    if (!d.sameSize) {
        return "pictures differ in size (or one is missing)";
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "%.3f%% of pixels within tolerance, mean channel difference %.3f, largest %d",
                  d.fractionWithin * 100.0, d.meanChannel, d.maxChannel);
    return text;
}

RgbImage differencePicture(const RgbImage& a, const RgbImage& b) {
    RgbImage out;
    if (!holdsPicture(a) || !holdsPicture(b) || a.width != b.width || a.height != b.height) {
        return out;
    }
    out.width = a.width;
    out.height = a.height;
    out.rgb.resize(a.rgb.size());
    for (std::size_t k = 0; k < a.rgb.size(); ++k) {
        const int diff = std::abs(int{a.rgb[k]} - int{b.rgb[k]}) * 8;
        out.rgb[k] = static_cast<uint8_t>(std::min(diff, 255));
    }
    return out;
}

} // namespace kelvara::golden
