// Rectangle and line arithmetic of the Windows backend.
#include "gui/box_geometry.hpp"

#include <algorithm>
#include <cstdint>

namespace qor::gui::box_geometry {

Box visible_part(int32_t x, int32_t y, int32_t w, int32_t h, int32_t pw, int32_t ph, int32_t inset) {
    // 64-bit: offsets and sizes come from user facets.
    int64_t left = std::max<int64_t>(0, int64_t(inset) - x);
    int64_t top = std::max<int64_t>(0, int64_t(inset) - y);
    int64_t right = std::min<int64_t>(w, int64_t(pw) - inset - x);
    int64_t bottom = std::min<int64_t>(h, int64_t(ph) - inset - y);
    if (right <= left || bottom <= top) return Box{};
    return Box{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
}

Box intersect(const Box& a, const Box& b) {
    Box r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    return r.empty() ? Box{} : r;
}

Box letterbox(int32_t cw, int32_t ch, int32_t fw, int32_t fh) {
    if (cw <= 0 || ch <= 0) return Box{};
    if (fw <= 0 || fh <= 0) return Box{0, 0, cw, ch};
    // Width-bound when the area is relatively wider than the frames are not.
    int64_t w = cw, h = int64_t(cw) * fh / fw;
    if (h > ch) {
        h = ch;
        w = int64_t(ch) * fw / fh;
    }
    int32_t left = int32_t((cw - w) / 2), top = int32_t((ch - h) / 2);
    return Box{left, top, left + int32_t(w), top + int32_t(h)};
}

Box hit_box(float left, float top, float width, float height) {
    int32_t l = int32_t(left + 0.5f), t = int32_t(top + 0.5f);
    return Box{l, t, l + int32_t(width + 0.5f), t + int32_t(height + 0.99f)};
}

uint32_t line_holding(const std::vector<uint32_t>& lengths, int32_t n) {
    uint32_t k = 0;
    int64_t left = n;
    while (left > 0 && k < lengths.size()) {
        left -= lengths[k];
        if (left > 0 && k + 1 < lengths.size()) ++k;
        else break;
    }
    return k;
}

}  // namespace qor::gui::box_geometry
