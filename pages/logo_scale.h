// Smooth scaling of the About page's logo for the window's DPI. Platform-neutral: pixels are
// premultiplied 0xAARRGGBB words, rows from the top.
#pragma once

#include <cstdint>

namespace pinprint {

// The logo's pixels made ready for scaling: `transparent` (0x00RRGGBB) becomes fully
// transparent, every other pixel fully opaque.
void PremultiplyLogo(uint32_t* pixels, int count, uint32_t transparent);

// Bilinear scaling of a premultiplied image, sampled at pixel centres with the edges clamped.
// Filtering in premultiplied form mixes no transparent colour into the logo's edges: the edge
// pixels come out partly transparent instead, and blend with whatever lies beneath.
void ScalePremultiplied(const uint32_t* source, int sourceWidth, int sourceHeight, uint32_t* target,
                        int targetWidth, int targetHeight);

}  // namespace pinprint
