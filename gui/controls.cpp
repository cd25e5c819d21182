// Native controls, the portable part.
#include "gui/controls.hpp"

#include <cmath>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "gui/face_slots.hpp"

namespace qor::gui::controls {

namespace {

bool word_named(const Cell* v, const char* name) {
    return (type_of(v) == TYPE_WORD || type_of(v) == TYPE_LIT_WORD) && word::spelled(v, name);
}

// The value after a word in an options block, or null.
const Cell* option(const Cell* options, const char* name) {
    if (!options || type_of(options) != TYPE_BLOCK) return nullptr;
    uint32_t n = block::length(options);
    for (uint32_t i = 0; i + 1 < n; ++i) {
        const Cell* v = block::item(options, i);
        if ((is_word_kind(type_of(v))) && word::spelled(v, name)) return block::item(options, i + 1);
    }
    return nullptr;
}

bool is_number(const Cell* v) { return type_of(v) == TYPE_FLOAT || type_of(v) == TYPE_PERCENT; }

uint32_t units_before(const std::vector<uint32_t>& text, int32_t chars) {
    uint32_t u = 0;
    for (int32_t i = 0; i < chars && size_t(i) < text.size(); ++i) u += text[size_t(i)] > 0xFFFF ? 2 : 1;
    return u;
}

int32_t chars_in(const std::vector<uint32_t>& text, int32_t units) {
    int32_t u = 0, i = 0;
    while (size_t(i) < text.size() && u < units) u += text[size_t(i++)] > 0xFFFF ? 2 : 1;
    return i;
}

}  // namespace

const char* window_class(const Cell* type) {
    static const struct { const char* type; const char* cls; } TABLE[] = {
        {"button", "QorButton"}, {"toggle", "QorButton"}, {"check", "QorButton"}, {"radio", "QorButton"},
        {"panel", "QorPanel"}, {"group-box", "QorPanel"}, {"tab-panel", "QorTabpanel"},
        {"field", "QorField"}, {"area", "QorArea"}, {"text", "QorFace"}, {"text-list", "QorListBox"},
        {"drop-down", "QorCombo"}, {"drop-list", "QorCombo"}, {"progress", "QorProgress"},
        {"slider", "QorSlider"}, {"scroller", "QorScroller"}, {"base", "QorBase"}, {"rich-text", "QorBase"},
        {"camera", "QorCamera"}, {"calendar", "QorCalendar"}, {"window", "QorWindow"},
    };
    if (!type) return nullptr;
    for (const auto& e : TABLE)
        if (faces::word_is(type, e.type)) return e.cls;
    return nullptr;
}

bool is_item(const Cell* v) {
    switch (type_of(v)) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: return true;
    default: return false;
    }
}

std::vector<std::string> list_items(const Cell* data) {
    std::vector<std::string> items;
    if (!data || (type_of(data) != TYPE_BLOCK && type_of(data) != TYPE_HASH && type_of(data) != TYPE_MAP))
        return items;
    if (type_of(data) == TYPE_MAP) return items;   // a map's values come through the backend's walk
    uint32_t n = block::length(data);
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* v = block::item(data, i);
        if (is_item(v)) items.push_back(string::to_utf8(v));
    }
    return items;
}

int32_t longest_item(const std::vector<std::string>& items) {
    int32_t best = -1;
    size_t longest = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        size_t chars = 0;
        for (char c : items[i]) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (best < 0 || chars > longest) {
            best = int32_t(i);
            longest = chars;
        }
    }
    return best;
}

CheckState check_state(const Cell* data, bool tri_state) {
    switch (type_of(data)) {
    case TYPE_NONE: return tri_state ? INDETERMINATE : UNCHECKED;
    case TYPE_LOGIC: return data->data1 ? CHECKED : UNCHECKED;
    default: return CHECKED;
    }
}

Cell check_data(int32_t state) {
    if (state == INDETERMINATE) return Cell{TYPE_NONE, 0, 0, 0};
    return Cell{TYPE_LOGIC, state == CHECKED ? 1u : 0u, 0, 0};
}

int32_t list_selection(const Cell* selected) {
    if (type_of(selected) != TYPE_INTEGER) return -1;
    int32_t n = integer::get_value(selected);
    return n <= 0 ? -1 : n - 1;
}

int32_t tab_selection(const Cell* selected, int32_t count) {
    if (count <= 0) return 0;
    int32_t n = type_of(selected) == TYPE_INTEGER ? integer::get_value(selected) : 1;
    return n < 1 ? 1 : n > count ? count : n;
}

int32_t calendar_year(int32_t year) { return year <= 1600 ? 1601 : year >= 10000 ? 9999 : year; }

bool unit_position(const Cell* data, int32_t steps, bool vertical, int32_t* position) {
    if (!is_number(data)) return false;
    double v = float_::get_value(data) * steps;
    *position = int32_t(vertical ? steps - v : v);
    return true;
}

double slider_data(int32_t position, int32_t steps, bool vertical) {
    if (steps <= 0) return 0.0;
    return double(vertical ? steps - position : position) / steps;
}

bool vertical_slider(int32_t width, int32_t height) { return height > width; }

bool scroller_position(const Cell* data, int32_t min, int32_t max, int32_t* position) {
    if (type_of(data) != TYPE_FLOAT) return false;
    double v = float_::get_value(data);
    v = v < 0 ? 0 : v > 1 ? 1 : v;
    *position = int32_t(min + v * (max - min));
    return true;
}

bool scroller_page(const Cell* selected, int32_t min, int32_t max, int32_t* page) {
    double v;
    if (type_of(selected) == TYPE_INTEGER) v = integer::get_value(selected);
    else if (is_number(selected)) v = float_::get_value(selected);
    else return false;
    if (v < 0) return false;
    *page = int32_t(std::lround((max - min) * v));
    return true;
}

double unit_interval(const Cell* v) {
    double d;
    switch (type_of(v)) {
    case TYPE_INTEGER: d = integer::get_value(v); break;
    case TYPE_FLOAT: case TYPE_PERCENT: d = float_::get_value(v); break;
    default: return -1.0;
    }
    return d < 0 ? 0.0 : d > 1 ? 1.0 : d;
}

void edit_selection(const Cell* selected, const std::vector<uint32_t>& text, int32_t* from, int32_t* to) {
    *from = *to = 0;
    if (type_of(selected) != TYPE_PAIR) return;
    int32_t a = pair::x_of(selected), b = pair::y_of(selected);
    if (a > b) std::swap(a, b);
    if (a < 1) a = 1;
    *from = int32_t(units_before(text, a - 1));
    *to = int32_t(units_before(text, b));
}

Cell selection_value(int32_t from, int32_t to, const std::vector<uint32_t>& text) {
    if (from == to) return Cell{TYPE_NONE, 0, 0, 0};
    if (from > to) std::swap(from, to);
    return pair::make(chars_in(text, from) + 1, chars_in(text, to));
}

std::vector<ListOp> list_change(const Cell* data, const Cell* action, int32_t index, int32_t part,
                                bool same_series_move) {
    std::vector<ListOp> ops;
    if (!data || type_of(data) != TYPE_BLOCK) return ops;
    uint32_t n = block::length(data);
    int32_t p = 0;
    for (int32_t i = 0; i < index && uint32_t(i) < n; ++i) p += is_item(block::item(data, uint32_t(i)));
    static const char* const BEFORE[] = {"remove", "take", "clear", "reverse", "put", "poke", "move"};
    static const char* const AFTER[] = {"inserted", "appended", "poked", "put-ed", "reversed", "moved"};
    for (const char* a : BEFORE)
        if (word_named(action, a)) {
            if (same_series_move && word_named(action, "move")) return ops;
            if (word_named(action, "clear") && index == 0) {
                ops.push_back({ListOp::RESET, 0, {}});
                return ops;
            }
            for (int32_t k = 0; k < part && uint32_t(index + k) < n; ++k)
                if (is_item(block::item(data, uint32_t(index + k)))) ops.push_back({ListOp::REMOVE, p, {}});
            return ops;
        }
    for (const char* a : AFTER)
        if (word_named(action, a)) {
            for (int32_t k = 0; k < part && uint32_t(index + k) < n; ++k) {
                const Cell* v = block::item(data, uint32_t(index + k));
                if (is_item(v)) ops.push_back({ListOp::INSERT, p++, string::to_utf8(v)});
            }
            return ops;
        }
    return ops;
}

bool hint_text(const Cell* options, std::string* text) {
    const Cell* v = option(options, "hint");
    if (!v || type_of(v) != TYPE_STRING) return false;
    *text = string::to_utf8(v);
    return true;
}

int32_t tab_stop(const Cell* options) {
    const Cell* v = option(options, "tabs");
    if (v && type_of(v) == TYPE_INTEGER) return integer::get_value(v) * 4;
    return 16;
}

uint32_t accelerated_style(const Cell* options, bool top_level) {
    const Cell* v = option(options, "accelerated");
    bool on = v && ((type_of(v) == TYPE_LOGIC && v->data1) || word_named(v, "true"));
    if (!on) return 0;
    return 0x80000u | (top_level ? 0u : 0x80u);   // WS_EX_LAYERED, WS_EX_TOOLWINDOW
}

ScrollBars area_scroll_bars(const std::vector<uint32_t>& text, bool wrap, int32_t client_w, int32_t client_h,
                            int32_t cell_w, int32_t cell_h,
                            const std::function<int32_t(const std::u32string&)>& wrapped_height,
                            const std::function<int32_t(const std::u32string&)>& line_width) {
    ScrollBars bars;
    int32_t total = 0;
    std::u32string longest;
    bool too_wide = false;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n') continue;
        std::u32string line(text.begin() + ptrdiff_t(start), text.begin() + ptrdiff_t(i));
        start = i + 1;
        total += cell_h;
        if (int32_t(line.size()) * cell_w > client_w) {
            if (wrap) {
                total += wrapped_height(line) - cell_h;
            } else if (line.size() > longest.size()) {
                longest = line;
                too_wide = true;
            } else {
                too_wide = true;
            }
        }
        if (total >= client_h) {
            bars.vertical = true;
            if (wrap) break;
        }
    }
    if (!wrap && too_wide) bars.horizontal = line_width(longest) > client_w;
    return bars;
}

bool opaque_color(const Cell* color) {
    if (!color || type_of(color) != TYPE_TUPLE) return false;
    uint32_t n = tuple::count(color);
    if (n == 3) return true;
    uint8_t b[tuple::MAX_COUNT];
    tuple::get_bytes(color, b);
    return n == 4 && b[3] == 0;
}

bool must_be_layered(const Cell* type, const Cell* color, uint32_t flag_bits) {
    if (faces::word_is(type, "base") || faces::word_is(type, "rich-text")) return !opaque_color(color);
    if (faces::word_is(type, "window") && (flag_bits & faces::FACE_NO_BORDER))
        return color && type_of(color) == TYPE_TUPLE && !opaque_color(color);
    return false;
}

Rect tab_page(int32_t x, int32_t y, int32_t width, int32_t height, double scale) {
    if (scale == 1.0) return Rect{double(x - 3), double(y - 1), double(width + 4), double(height + 3)};
    return Rect{x / scale, y / scale, width / scale, height / scale};
}

int32_t facet_colour(const Cell* value) {
    if (!value || type_of(value) != TYPE_TUPLE) return -1;
    uint8_t b[tuple::MAX_COUNT];
    tuple::get_bytes(value, b);
    return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16);
}

bool camera_device(const Cell* selected, int32_t count, int32_t* device) {
    if (type_of(selected) != TYPE_INTEGER) return false;
    int32_t n = integer::get_value(selected);
    if (n < 1 || n > count) {
        Cell arg = integer::make(n);
        raise_error("access", "cannot-open", &arg);
    }
    *device = n - 1;
    return true;
}

}  // namespace qor::gui::controls
