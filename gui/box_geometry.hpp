// Small rectangle and line arithmetic of the Windows backend, kept portable
// so that it is tested natively: the visible part of a stand-in layered
// window, a video rectangle that keeps its frames' shape, a hit-test box
// rounded to pixels and the line that holds a text position.
#pragma once
#include <cstdint>
#include <vector>

namespace qor::gui::box_geometry {

struct Box {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return right <= left || bottom <= top; }
    bool operator==(const Box&) const = default;
};

// The part of a face at (x, y) of size w x h, in its parent's client area
// of pw x ph less `inset` on every side, in the face's own coordinates; an
// empty box when nothing of it shows.
Box visible_part(int32_t x, int32_t y, int32_t w, int32_t h, int32_t pw, int32_t ph, int32_t inset);

// The overlap of two boxes, empty when they do not meet.
Box intersect(const Box& a, const Box& b);

// The largest rectangle of the frames' shape (fw x fh) centred in a client
// area of cw x ch; the whole area when a frame size is unknown.
Box letterbox(int32_t cw, int32_t ch, int32_t fw, int32_t fh);

// A hit-test rectangle in pixels: edges rounded, the height rounded up
// unless it is within 0.01 of a whole pixel.
Box hit_box(float left, float top, float width, float height);

// The 0-based line holding the 1-based text position n, given each line's
// length in the same units; 0 without lines.
uint32_t line_holding(const std::vector<uint32_t>& lengths, int32_t n);

}  // namespace qor::gui::box_geometry
