// The rich-text style walker: a flat block of ranges (pairs, 1-based start
// x length in characters), each followed by the styles that apply to it.
// The walker turns ranges into UTF-16 units (what DirectWrite counts) and
// hands each style to a sink; the Direct2D backend's sink sets them on a
// text layout.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::gui::rich_text {

struct Range {
    uint32_t start, length;   // UTF-16 units
};

class StyleSink {
public:
    virtual ~StyleSink() = default;
    virtual void colour(Range r, uint32_t colour) = 0;   // R | G << 8 | B << 16 | T << 24
    virtual void family(Range r, const Cell* name) = 0;  // a string!
    virtual void size(Range r, float points) = 0;
    virtual void bold(Range r) = 0;
    virtual void italic(Range r) = 0;
    virtual void underline(Range r) = 0;
    virtual void strike(Range r) = 0;
    virtual void backdrop(Range r, uint32_t colour) = 0;
};

// Walks the styles from their index over the text from its index; a value
// that is no style raises draw-invalid at it.
void walk(StyleSink& sink, const Cell* styles, const Cell* text);

}  // namespace qor::gui::rich_text
