#include "pages/logo_scale.h"

#include <algorithm>
#include <cmath>

namespace pinprint {
namespace {

// Where target pixel `at` samples the source: the two source pixels and the second's weight.
struct Sample {
    int first;
    int second;
    float weight;
};

Sample SampleAt(int at, int sourceSize, int targetSize) {
    const float position = (static_cast<float>(at) + 0.5f) * static_cast<float>(sourceSize) /
                               static_cast<float>(targetSize) -
                           0.5f;
    const float clamped = std::clamp(position, 0.0f, static_cast<float>(sourceSize - 1));
    const int first = static_cast<int>(std::floor(clamped));
    return {first, std::min(first + 1, sourceSize - 1), clamped - static_cast<float>(first)};
}

float Channel(uint32_t pixel, int shift) {
    return static_cast<float>((pixel >> shift) & 0xFF);
}

}  // namespace

void PremultiplyLogo(uint32_t* pixels, int count, uint32_t transparent) {
    for (int i = 0; i < count; ++i) {
        const uint32_t colour = pixels[i] & 0x00FFFFFFu;
        pixels[i] = colour == transparent ? 0 : (0xFF000000u | colour);
    }
}

void ScalePremultiplied(const uint32_t* source, int sourceWidth, int sourceHeight, uint32_t* target,
                        int targetWidth, int targetHeight) {
    if (sourceWidth <= 0 || sourceHeight <= 0) {
        return;
    }
    for (int y = 0; y < targetHeight; ++y) {
        const Sample row = SampleAt(y, sourceHeight, targetHeight);
        const uint32_t* above = source + static_cast<size_t>(row.first) * sourceWidth;
        const uint32_t* below = source + static_cast<size_t>(row.second) * sourceWidth;
        for (int x = 0; x < targetWidth; ++x) {
            const Sample column = SampleAt(x, sourceWidth, targetWidth);
            uint32_t pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const float top = Channel(above[column.first], shift) * (1 - column.weight) +
                                  Channel(above[column.second], shift) * column.weight;
                const float bottom = Channel(below[column.first], shift) * (1 - column.weight) +
                                     Channel(below[column.second], shift) * column.weight;
                const float value = top * (1 - row.weight) + bottom * row.weight;
                pixel |= static_cast<uint32_t>(std::lround(value)) << shift;
            }
            target[static_cast<size_t>(y) * targetWidth + x] = pixel;
        }
    }
}

}  // namespace pinprint
