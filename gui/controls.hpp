// Native controls, the portable part: which control each face type makes,
// how facet values become control state and back (lists, check boxes, tab
// panels, calendars, sliders, progress bars, scroll bars, edit selections),
// how in-place edits of a list's `data` become item operations, and the
// option and measuring rules of edit controls and areas.  The Windows side
// (gui/backend/controls_win32.cpp) sends the messages these rules choose.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::gui::controls {

// The window class of a face type, null for a type that makes no window.
const char* window_class(const Cell* type);

// ---- Facet values to control state and back

// A list item: a string!, file!, url!, tag!, email! or ref!.
bool is_item(const Cell* value);
// The texts of the items of a block!, hash! or map! `data` (UTF-8).
std::vector<std::string> list_items(const Cell* data);
// The index of the longest item by character count, -1 when none.
int32_t longest_item(const std::vector<std::string>& items);

enum CheckState : int32_t { UNCHECKED = 0, CHECKED = 1, INDETERMINATE = 2 };
CheckState check_state(const Cell* data, bool tri_state);
Cell check_data(int32_t state);                       // none for indeterminate, else a logic!

int32_t list_selection(const Cell* selected);        // 0-based, -1 for none
int32_t tab_selection(const Cell* selected, int32_t count);   // 1-based, clamped; 0 without tabs
int32_t calendar_year(int32_t year);                 // 1601..9999

// Slider and progress positions for a float! or percent! `data` over L
// steps (false for other values); a vertical slider counts from the bottom.
bool unit_position(const Cell* data, int32_t steps, bool vertical, int32_t* position);
double slider_data(int32_t position, int32_t steps, bool vertical);
bool vertical_slider(int32_t width, int32_t height);

// A scroller's data (clamped to 0..1) as a position, its `selected` as a page.
bool scroller_position(const Cell* data, int32_t min, int32_t max, int32_t* position);
bool scroller_page(const Cell* selected, int32_t min, int32_t max, int32_t* page);

// gui/unit-interval: an integer!, float! or percent! clamped to 0..1, else -1.
double unit_interval(const Cell* value);

// An edit control's selection from `selected` (a start x end pair, 1-based,
// in either order) in UTF-16 units; anything else selects nothing (0, 0).
void edit_selection(const Cell* selected, const std::vector<uint32_t>& text, int32_t* from, int32_t* to);
// The selection read back: none when empty, else 1-based first x last character.
Cell selection_value(int32_t from, int32_t to, const std::vector<uint32_t>& text);

// ---- In-place edits of a list's data

struct ListOp {
    enum Kind { RESET, REMOVE, INSERT } kind;
    int32_t position;     // 0-based item position
    std::string text;     // for INSERT
};
// The operations for an edit of the data block: `action` the change word,
// `index` the 0-based series index of the change, `part` the values
// concerned (read from the block at index for insertions).
std::vector<ListOp> list_change(const Cell* data, const Cell* action, int32_t index, int32_t part,
                                bool same_series_move);

// ---- Options of edit controls and base faces

bool hint_text(const Cell* options, std::string* text);     // `hint` followed by a string
int32_t tab_stop(const Cell* options);                       // dialog units: 16, or `tabs` n x 4
uint32_t accelerated_style(const Cell* options, bool top_level);   // extended window styles

// ---- Scroll bars of an area

struct ScrollBars {
    bool vertical = false, horizontal = false;
};
// Which bars an area needs: the text's lines against the client size, a
// character cell of cell_w x cell_h; `wrapped_height` measures a line laid
// out in the client width, `line_width` a line's exact width.
ScrollBars area_scroll_bars(const std::vector<uint32_t>& text, bool wrap, int32_t client_w, int32_t client_h,
                            int32_t cell_w, int32_t cell_h,
                            const std::function<int32_t(const std::u32string&)>& wrapped_height,
                            const std::function<int32_t(const std::u32string&)>& line_width);

// ---- Base faces and tab pages

// A colour that needs no per-pixel transparency: a tuple of three bytes, or
// of four whose fourth (transparency) byte is 0.  Anything else is not.
bool opaque_color(const Cell* color);
// Whether a drawing face must be a layered window: a base or rich-text face
// whose colour is not opaque, or a borderless window asking for transparency.
bool must_be_layered(const Cell* type, const Cell* color, uint32_t flag_bits);

// The place of a tab-panel's page from the tab's display area (pixels): at
// scale 1 nudged to cover the tab's border, else the area in logical units.
struct Rect {
    double x, y, width, height;
};
Rect tab_page(int32_t x, int32_t y, int32_t width, int32_t height, double scale);

// The colour of a facet value as a COLORREF, -1 when it is not a tuple.
int32_t facet_colour(const Cell* value);

// ---- Camera

// The device a camera's `selected` asks for: none closes (false); an
// integer n opens device n - 1; out of range raises access/cannot-open with n.
bool camera_device(const Cell* selected, int32_t count, int32_t* device);

}  // namespace qor::gui::controls
