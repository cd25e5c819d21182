// Transforms of 32-bit pixel buffers (four bytes a pixel, rows of width x 4
// bytes, no padding): copying a clipped rectangle, warping a whole image
// onto a quadrilateral with bilinear sampling, and YUY2 camera frames to
// pixels.  Plain buffers in and out, no Qor values, so that image! and the
// camera can both use them.
#pragma once
#include <cstdint>
#include <vector>

#include "services/geometry.hpp"

namespace qor::pixels {

// Copies the rectangle at (x, y) of w x h pixels, clipped to the image, into
// `out` as packed rows, and gives its clipped size.  False (and `out`
// untouched) when x or y is negative or outside the image.
bool copy_rect(const uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y, int32_t w, int32_t h,
               std::vector<uint32_t>& out, int32_t* out_width, int32_t* out_height);

// Warps the whole image onto the quad: the result covers the quad's
// bounding box, whose integer origin and size come back through the out
// arguments; pixels of the box outside the quad are 0.  False (nothing
// made) when the image is empty, or when the box is not finite or its
// pixels would not fit in 2 GB.
bool project_to_quad(const uint32_t* pixels, int32_t width, int32_t height, const geometry::Quad& quad,
                     std::vector<uint32_t>& out, int32_t* out_x, int32_t* out_y, int32_t* out_width,
                     int32_t* out_height);

// YUY2 (Y0 U Y1 V per two pixels) into pixels with red in bits 0-7, green
// 8-15, blue 16-23 and alpha 255.  `source` holds columns x rows x 2 bytes,
// `destination` room for columns x rows pixels.
void yuy2_to_pixels(int32_t columns, int32_t rows, const uint8_t* source, uint32_t* destination);

}  // namespace qor::pixels
