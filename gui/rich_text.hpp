// Rich text: the style runs of a rich-text face's `data` (ranges and their
// styles) cut to its text and counted in UTF-16 units as text layouts count
// them, and the layout metrics of a face measured with fixed character
// metrics (the headless window system's: every character one cell wide).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::gui {

struct StyleRun {
    uint32_t start = 0;          // in UTF-16 units from the text's head
    uint32_t length = 0;
    bool bold = false, italic = false, underline = false, strike = false;
    bool has_color = false, has_backdrop = false;
    uint32_t color = 0, backdrop = 0;   // COLORREF order: red in the low byte
    uint32_t alpha = 0, backdrop_alpha = 0;   // tuple transparency bytes
    double size = 0;             // font size in points, 0 when not given
    std::string font;            // font name, empty when not given
};

namespace rich_text {

// The text as code points.
std::vector<uint32_t> code_points(const Cell* text);

// The runs of a style block: [start x length style...] entries (1-based
// character ranges).  Ranges past the end are cut; empty or out-of-text
// ones are dropped.
std::vector<StyleRun> style_runs(const Cell* data, const std::vector<uint32_t>& text);

// UTF-16 position of a 0-based character index, and back.
uint32_t utf16_position(const std::vector<uint32_t>& text, uint32_t index);
uint32_t character_index(const std::vector<uint32_t>& text, uint32_t position);

// A text box metrics query over fixed metrics (cell width and line height in
// pixels): lines end at LF.  Types as text-box-metrics: 0 caret point of
// character n, 6 its far corner, 1 and 5 the index under a point (1 counts
// the trailing half), 2 line height, 3 size, 4 and others the line count.
bool fixed_metrics(const std::vector<uint32_t>& text, const Cell* arg, int32_t type, int32_t cell_width,
                   int32_t line_height, Cell* out);

}  // namespace rich_text
}  // namespace qor::gui
