// DirectWrite text layouts of the draw backend: a string in a format, and
// a face's text with its font, para and rich-text styles.
#pragma once
#include "gui/backend/d2d_device.hpp"

namespace qor::gui::d2d {

// A layout of the string without a width limit; null on failure.
IDWriteTextLayout* string_layout(const Cell* string, IDWriteTextFormat* format);
// The layout of a face's text in its size, with its font and, for a
// rich-text face, the styles of its `data` facet applied; null without text.
IDWriteTextLayout* face_layout(const Cell* face, ID2D1DeviceContext* dc);
// Fills the backdrop ranges of the last face layout made (behind its text
// drawn at `at`) and forgets them.
void draw_backdrops(ID2D1DeviceContext* dc, IDWriteTextLayout* layout, D2D1_POINT_2F at);
// Applies a flat style block ([start x length style...]) to a layout of
// the text; a value that is no style raises draw-invalid at it.
void apply_styles(IDWriteTextLayout* layout, ID2D1DeviceContext* dc, const Cell* styles, const Cell* text);

}  // namespace qor::gui::d2d
