// Transforms of 32-bit pixel buffers.
#include "services/pixel_transforms.hpp"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace qor::pixels {

using geometry::Quad;
using geometry::Vec2;

namespace {

// Bytes of pixels a result may take (the memory manager's own ceiling).
constexpr uint64_t MAX_BYTES = 0x7FFF0000u;

inline uint8_t channel(uint32_t pixel, int k) { return uint8_t(pixel >> (8 * k)); }

inline int32_t clamp_byte(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

}  // namespace

bool copy_rect(const uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y, int32_t w, int32_t h,
               std::vector<uint32_t>& out, int32_t* out_width, int32_t* out_height) {
    if (x < 0 || y < 0 || x >= width || y >= height) return false;
    if (w < 0) w = 0;
    if (h < 0) h = 0;
    if (w > width - x) w = width - x;
    if (h > height - y) h = height - y;
    out.resize(size_t(w) * size_t(h));
    for (int32_t row = 0; w > 0 && row < h; row++)
        std::memcpy(out.data() + size_t(row) * w, pixels + size_t(y + row) * width + x, size_t(w) * 4);
    *out_width = w;
    *out_height = h;
    return true;
}

bool project_to_quad(const uint32_t* pixels, int32_t width, int32_t height, const Quad& quad,
                     std::vector<uint32_t>& out, int32_t* out_x, int32_t* out_y, int32_t* out_width,
                     int32_t* out_height) {
    if (width < 1 || height < 1) return false;
    float min_x = FLT_MAX, min_y = FLT_MAX, max_x = -FLT_MAX, max_y = -FLT_MAX;
    for (const geometry::PointF& p : quad.corner) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        if (p.x < min_x) min_x = p.x;
        if (p.y < min_y) min_y = p.y;
        if (p.x > max_x) max_x = p.x;
        if (p.y > max_y) max_y = p.y;
    }
    double span_x = double(max_x) - min_x, span_y = double(max_y) - min_y;
    // Origins and sizes beyond 32 bits, or more pixels than memory allows,
    // are refused before anything is allocated.
    if (min_x < -2147483648.0f || min_y < -2147483648.0f || span_x >= 2147483647.0 || span_y >= 2147483647.0)
        return false;
    int32_t bx = int32_t(min_x), by = int32_t(min_y);
    int32_t bw = int32_t(span_x), bh = int32_t(span_y);
    if (uint64_t(bw) * uint64_t(bh) * 4 > MAX_BYTES) return false;
    out.assign(size_t(bw) * size_t(bh), 0);
    *out_x = bx;
    *out_y = by;
    *out_width = bw;
    *out_height = bh;

    Vec2 corner[4], edge[4];
    for (int k = 0; k < 4; k++) corner[k] = Vec2{quad.corner[k].x, quad.corner[k].y};
    for (int k = 0; k < 4; k++) {
        const Vec2& s = corner[k];
        const Vec2& e = corner[(k + 1) & 3];
        geometry::vector_between(edge[k], s.x, s.y, e.x, e.y);
        geometry::normalise(edge[k]);
    }
    for (int32_t j = 0; j < bh; j++) {
        for (int32_t i = 0; i < bw; i++) {
            Vec2 p{double(bx) + i, double(by) + j};
            if (!geometry::point_in_quad(quad, p.x, p.y)) continue;
            double top = geometry::distance_from_line(p, corner[0], edge[0]);
            double right = geometry::distance_from_line(p, corner[1], edge[1]);
            double bottom = geometry::distance_from_line(p, corner[2], edge[2]);
            double left = geometry::distance_from_line(p, corner[3], edge[3]);
            double u = left / (left + right) * width;
            double v = top / (top + bottom) * height;
            if (!(u >= 0 && u < width && v >= 0 && v < height)) continue;   // NaN too
            int32_t x0 = int32_t(u), y0 = int32_t(v);
            int32_t x1 = x0 + 1 < width ? x0 + 1 : x0, y1 = y0 + 1 < height ? y0 + 1 : y0;
            double fu = u - x0, fv = v - y0;
            double w00 = (1 - fu) * (1 - fv), w10 = fu * (1 - fv), w01 = (1 - fu) * fv, w11 = fu * fv;
            uint32_t a = pixels[size_t(y0) * width + x0], b = pixels[size_t(y0) * width + x1];
            uint32_t c = pixels[size_t(y1) * width + x0], d = pixels[size_t(y1) * width + x1];
            uint32_t mixed = 0;
            for (int k = 0; k < 4; k++) {
                double m = channel(a, k) * w00 + channel(b, k) * w10 + channel(c, k) * w01 + channel(d, k) * w11;
                uint32_t byte = m <= 0 ? 0 : m >= 255 ? 255 : uint32_t(m);
                mixed |= byte << (8 * k);
            }
            out[size_t(j) * bw + i] = mixed;
        }
    }
    return true;
}

void yuy2_to_pixels(int32_t columns, int32_t rows, const uint8_t* source, uint32_t* destination) {
    if (columns < 1 || rows < 1) return;
    size_t n = size_t(columns) * size_t(rows);
    auto pixel = [](int32_t y, int32_t u, int32_t v) {
        int32_t r = clamp_byte(y + ((v * 91881) >> 16));
        int32_t g = clamp_byte(y - ((v * 46792) >> 16) - ((u * 21889) >> 16));
        int32_t b = clamp_byte(y + ((u * 116129) >> 16));
        return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | 0xFF000000u;
    };
    for (size_t i = 0; i + 1 < n; i += 2) {
        const uint8_t* g = source + i * 2;
        int32_t u = int32_t(g[1]) - 128, v = int32_t(g[3]) - 128;
        destination[i] = pixel(g[0], u, v);
        destination[i + 1] = pixel(g[2], u, v);
    }
    if (n & 1) {   // an odd pixel count ends in half a group: Y0 and U, no V
        const uint8_t* g = source + (n - 1) * 2;
        destination[n - 1] = pixel(g[0], int32_t(g[1]) - 128, 0);
    }
}

}  // namespace qor::pixels
