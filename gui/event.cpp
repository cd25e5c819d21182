// event!: construction, fields, paths, pick, text and comparison.  The
// fields of a native event are computed on demand from its message.
#include "gui/event.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/stack.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::event {

namespace {

const char* const TYPE_NAMES[] = {
    nullptr, "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up",
    "click", "dbl-click", "wheel", "over", "key", "key-down", "key-up", "ime", "focus",
    "unfocus", "enter", "zoom", "pan", "rotate", "two-tap", "press-tap", "select", "change",
    "menu", "close", "move", "resize", "moving", "resizing", "time", "drawing", "scroll",
    "minimize", "maximize", "restore",
};
static_assert(sizeof TYPE_NAMES / sizeof *TYPE_NAMES == EVT_LAST + 1);

const char* const FIELD_NAMES[] = {
    nullptr, "type", "face", "window", "offset", "key", "picked", "flags", "away?", "down?",
    "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation",
};
enum Field {
    F_TYPE = 1, F_FACE, F_WINDOW, F_OFFSET, F_KEY, F_PICKED, F_FLAGS, F_AWAY, F_DOWN,
    F_MID_DOWN, F_ALT_DOWN, F_AUX_DOWN, F_CTRL, F_SHIFT, F_ORIENTATION, FIELD_LAST = F_ORIENTATION,
};

// The flag words in the order `flags` lists them.
const struct { const char* word; uint32_t bit; } FLAGS[] = {
    {"away", FLAG_AWAY}, {"down", FLAG_DOWN}, {"mid-down", FLAG_MID_DOWN},
    {"alt-down", FLAG_ALT_DOWN}, {"aux-down", FLAG_AUX_DOWN}, {"control", FLAG_CONTROL},
    {"shift", FLAG_SHIFT}, {"alt", FLAG_ALT}, {"command", FLAG_COMMAND},
};

const struct { int32_t vk; const char* word; } KEY_WORDS[] = {
    {VK_PRIOR, "page-up"}, {VK_NEXT, "page-down"}, {VK_END, "end"}, {VK_HOME, "home"},
    {VK_LEFT, "left"}, {VK_UP, "up"}, {VK_RIGHT, "right"}, {VK_DOWN, "down"},
    {VK_INSERT, "insert"}, {VK_DELETE, "delete"}, {VK_PAUSE, "pause"},
    {VK_LSHIFT, "left-shift"}, {VK_RSHIFT, "right-shift"}, {VK_LCONTROL, "left-control"},
    {VK_RCONTROL, "right-control"}, {VK_LMENU, "left-alt"}, {VK_RMENU, "right-alt"},
    {VK_LWIN, "left-command"}, {VK_RWIN, "right-command"}, {VK_CAPITAL, "caps-lock"},
    {VK_NUMLOCK, "num-lock"}, {VK_SCROLL, "scroll-lock"},
};

Cell none_cell() { return Cell{TYPE_NONE, 0, 0, 0}; }
Cell truth(uint32_t bits) { return Cell{TYPE_LOGIC, bits ? 1u : 0u, 0, 0}; }
Cell word_cell(const char* spelling) { return *word::make_from_c_string(spelling); }

bool is_made(const Cell* e) { return (e->header & EVENT_MADE) != 0; }
uint32_t code_of(const Cell* e) { return e->data1; }
uint32_t flags_of(const Cell* e) { return e->data3 & ~KEY_MASK; }
const Message* message_of(const Cell* e) {
    return reinterpret_cast<const Message*>(uintptr_t(e->data2));
}

// The made event's block value at 0..3 (face window offset picked).
Cell made_value(const Cell* e, int32_t i) {
    if (!e->data2) {
        if (i == 2) return pair::make(0, 0);
        if (i == 3) return integer::make(0);
        return none_cell();
    }
    Cell blk{TYPE_BLOCK, 0, e->data2, 0};
    Cell* v = block::item(&blk, uint32_t(i));
    return v ? *v : none_cell();
}

Cell face_cell(uint32_t hwnd) {
    if (hwnd == 0xFFFFFFFFu || hwnd == 0) return none_cell();
    Cell* f = faces::of_window(hwnd);
    return f ? *f : none_cell();
}

Cell logical_point(uint32_t hwnd, double x, double y, uint32_t code) {
    Cell p = point::make2d(faces::to_logical(x), faces::to_logical(y));
    if ((code == EVT_RESIZE || code == EVT_RESIZING) && hwnd != 0xFFFFFFFFu &&
        (ws().window_word(hwnd, -12) & 0x10))
        p = pair::make(int32_t(point::coordinate(&p, 0)), int32_t(point::coordinate(&p, 1)));
    return p;
}

Cell offset_of(const Cell* e) {
    const Message* m = message_of(e);
    uint32_t code = code_of(e);
    uint32_t hwnd = faces::event_window(m);
    int32_t x, y;
    switch (code) {
    case EVT_WHEEL:
        x = low_signed(m->lparam);
        y = high_signed(m->lparam);
        if (hwnd != 0xFFFFFFFFu) ws().screen_to_client(hwnd, &x, &y);
        return logical_point(hwnd, x, y, code);
    case EVT_KEY: case EVT_KEY_DOWN: case EVT_KEY_UP:
        x = m->x;
        y = m->y;
        if (hwnd != 0xFFFFFFFFu) ws().screen_to_client(hwnd, &x, &y);
        return logical_point(hwnd, x, y, code);
    case EVT_MENU:
        return logical_point(hwnd, loop_state().right_click_x, loop_state().right_click_y, code);
    case EVT_MOVE: case EVT_RESIZE: case EVT_MOVING: case EVT_RESIZING:
        return logical_point(hwnd, low_signed(m->lparam), high_signed(m->lparam), code);
    default:
        if (code >= EVT_DOWN && code <= EVT_OVER) {
            if (code == EVT_OVER && (e->data3 & FLAG_AWAY)) {
                x = m->x;
                y = m->y;
                if (hwnd != 0xFFFFFFFFu) ws().screen_to_client(hwnd, &x, &y);
                return logical_point(hwnd, x, y, code);
            }
            return logical_point(hwnd, low_signed(m->lparam), high_signed(m->lparam), code);
        }
        return none_cell();
    }
}

Cell key_of(const Cell* e) {
    uint32_t code = code_of(e);
    uint32_t bits = e->data3 & KEY_MASK;
    if (is_made(e)) return (bits & 0xFFFF) ? char_::make(bits & 0xFFFF) : none_cell();
    if (code == EVT_KEY || code == EVT_KEY_DOWN || code == EVT_KEY_UP) {
        int32_t pending = loop_state().pending_key_code;
        if (pending == -1) return char_::make(code == EVT_KEY && bits > 0xFFFF ? bits : bits & 0xFFFF);
        for (const auto& k : KEY_WORDS)
            if (k.vk == pending) return word_cell(k.word);
        if (pending >= VK_F1 && pending <= VK_F12) {
            char name[4] = {'F', 0, 0, 0};
            int n = pending - VK_F1 + 1;
            if (n >= 10) {
                name[1] = '1';
                name[2] = char('0' + n - 10);
            } else {
                name[1] = char('0' + n);
            }
            return word_cell(name);
        }
        if (code == EVT_KEY) return none_cell();
        return char_::make(uint32_t(pending));
    }
    if (code == EVT_SCROLL) {
        const Message* m = message_of(e);
        bool vertical = m->message == WM_VSCROLL;
        switch (m->wparam & 0xFFFF) {
        case 0: return word_cell(vertical ? "up" : "left");
        case 1: return word_cell(vertical ? "down" : "right");
        case 2: return word_cell(vertical ? "page-up" : "page-left");
        case 3: return word_cell(vertical ? "page-down" : "page-right");
        case 5: return word_cell("track");
        default: return word_cell("end");
        }
    }
    if (code == EVT_WHEEL) return word_cell("wheel");
    return none_cell();
}

Cell picked_of(const Cell* e) {
    uint32_t code = code_of(e);
    const Message* m = message_of(e);
    switch (code) {
    case EVT_DOWN: case EVT_MID_DOWN: case EVT_ALT_DOWN: case EVT_AUX_DOWN: case EVT_DBL_CLICK: {
        uint32_t hwnd = faces::event_window(m);
        int32_t item = hwnd == 0xFFFFFFFFu ? -1 : ws().list_item_at(hwnd, m->x, m->y);
        return item >= 0 ? integer::make(item + 1) : none_cell();
    }
    case EVT_WHEEL: {
        int32_t delta = int16_t(m->wparam >> 16);
        if (delta > 24000) delta -= 30720;
        if (delta < -24000) delta += 30720;
        return float_::make(double(delta) / 120.0);
    }
    case EVT_MENU: {
        uint32_t id = e->data3 & 0xFFFF;
        if (id == 0xFFFF) return none_cell();
        Cell w;
        word::init_cell(&w, int32_t(id));
        return w;
    }
    default:
        return integer::make(int16_t(e->data3 & 0xFFFF));
    }
}

Cell flags_block(const Cell* e) {
    Cell blk = block::make(8);
    gc::CellRoot keep(&blk);
    uint32_t bits = flags_of(e);
    for (int i = 0; i < 8; ++i)
        if (bits & FLAGS[i].bit) word::make_kind_in_block(&blk, FLAGS[i].word, TYPE_WORD);
    return blk;
}

Cell field_value(const Cell* e, int32_t field) {
    switch (field) {
    case F_TYPE: {
        const char* name = type_name(code_of(e));
        return name ? word_cell(name) : none_cell();
    }
    case F_FACE:
        return is_made(e) ? made_value(e, 0) : face_cell(faces::event_window(message_of(e)));
    case F_WINDOW: {
        if (is_made(e)) return made_value(e, 1);
        uint32_t hwnd = faces::event_window(message_of(e));
        if (hwnd == 0xFFFFFFFFu) return none_cell();
        return face_cell(ws().root_owner(hwnd));
    }
    case F_OFFSET: return is_made(e) ? made_value(e, 2) : offset_of(e);
    case F_KEY: return key_of(e);
    case F_PICKED: return is_made(e) ? made_value(e, 3) : picked_of(e);
    case F_FLAGS: return flags_block(e);
    case F_AWAY: return truth(flags_of(e) & FLAG_AWAY);
    case F_DOWN: return truth(flags_of(e) & FLAG_DOWN);
    case F_MID_DOWN: return truth(flags_of(e) & FLAG_MID_DOWN);
    case F_ALT_DOWN: return truth(flags_of(e) & FLAG_ALT_DOWN);
    case F_AUX_DOWN: return truth(flags_of(e) & FLAG_AUX_DOWN);
    case F_CTRL: return truth(flags_of(e) & FLAG_CONTROL);
    case F_SHIFT: return truth(flags_of(e) & FLAG_SHIFT);
    case F_ORIENTATION:
        if (is_made(e) || code_of(e) != EVT_SCROLL) return none_cell();
        return word_cell(message_of(e)->message == WM_VSCROLL ? "vertical" : "horizontal");
    default:
        return none_cell();
    }
}

// ---- Actions

Cell fetched(const Cell* v) {
    uint32_t t = type_of(v);
    if ((t == TYPE_WORD || t == TYPE_GET_WORD) && word::context_of(v)) {
        Cell w = *v;
        return *context::get_word_value(&w);
    }
    return *v;
}

Cell* event_make(Cell*, Cell* spec) {
    if (type_of(spec) != TYPE_BLOCK) raise_error("script", "invalid-arg", spec);
    Cell made{TYPE_EVENT | EVENT_MADE, 0, 0, 0};
    Cell parts[4] = {none_cell(), none_cell(), pair::make(0, 0), integer::make(0)};
    bool has_block = false;
    gc::CellRoot keep(parts, 4);
    Cell spec_copy = *spec;
    gc::CellRoot keep_spec(&spec_copy);
    uint32_t n = block::length(&spec_copy);
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        Cell key = *block::item(&spec_copy, i);
        if (type_of(&key) != TYPE_SET_WORD) {
            i--;   // realign on the next set-word
            continue;
        }
        Cell v = fetched(block::item(&spec_copy, i + 1));
        uint32_t t = type_of(&v);
        if (faces::word_is(&key, "type")) {
            if (t == TYPE_WORD || t == TYPE_LIT_WORD) {
                uint32_t code = type_code(&v);
                if (!code) raise_error("script", "not-event-type", &v);
                made.data1 = code;
            }
        } else if (faces::word_is(&key, "key")) {
            if (t == TYPE_CHAR) made.data3 |= char_::code_point(&v) & 0xFFFF;
        } else if (faces::word_is(&key, "flags")) {
            if (t == TYPE_BLOCK) {
                uint32_t m = block::length(&v);
                for (uint32_t j = 0; j < m; ++j) {
                    Cell* f = block::item(&v, j);
                    bool known = false;
                    for (const auto& fl : FLAGS)
                        if (faces::word_is(f, fl.word)) {
                            made.data3 |= fl.bit;
                            known = true;
                        }
                    if (!known) raise_error("script", "invalid-arg", f);
                }
            }
        } else if (faces::word_is(&key, "face") || faces::word_is(&key, "window")) {
            if (t == TYPE_OBJECT) {
                parts[faces::word_is(&key, "face") ? 0 : 1] = v;
                has_block = true;
            }
        } else if (faces::word_is(&key, "offset")) {
            if (t == TYPE_PAIR || t == TYPE_POINT2D) {
                parts[2] = v;
                has_block = true;
            }
        } else if (faces::word_is(&key, "picked")) {
            if (t == TYPE_INTEGER) {
                parts[3] = v;
                has_block = true;
            }
        }
    }
    if (has_block) {
        Cell blk = block::make(4);
        gc::CellRoot keep_blk(&blk);
        for (const Cell& p : parts) block::append_copy(&blk, &p);
        made.data2 = blk.data2;
    }
    Cell* result = stack::arguments_base();
    *result = made;
    return result;
}

int32_t event_form(Cell*, Cell* out, Cell*, int32_t limit) {
    number_support::append_text(out, "event", 5);
    return limit - 5;
}

int32_t event_mold(Cell* v, Cell* out, bool, bool, bool, Cell* part, int32_t limit, int32_t) {
    return event_form(v, out, part, limit);
}

int32_t event_compare(Cell*, Cell* b, int32_t op) {
    if (type_of(b) != TYPE_EVENT) return COMPARE_INCOMPARABLE;
    switch (op) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: return 0;
    default: return COMPARE_INCOMPARABLE;
    }
}

Cell* event_eval_path(Cell* value, Cell* element, Cell* new_value, Cell* path, Cell*, Cell*,
                      int32_t, bool, uint32_t, bool, bool) {
    int32_t field = field_number(element);
    if (!new_value) {
        if (!field) raise_error("script", "invalid-path", path, element);
        Cell e = *value;
        return push_field(&e, field);
    }
    if (field == F_TYPE && type_of(new_value) == TYPE_WORD) {
        uint32_t code = type_code(new_value);
        if (!code) raise_error("script", "not-event-type", new_value);
        value->data1 = code;
        return new_value;
    }
    raise_error("script", "bad-path-set", element, new_value);
}

Cell* event_pick(Cell* value, int32_t index) {
    Cell given = number_support::pick_index_arg(value, index);
    int32_t field = 0;
    if (type_of(&given) == TYPE_INTEGER) {
        field = integer::get_value(&given);
        if (field < 1 || field > FIELD_LAST) raise_error("script", "out-of-range", &given);
    } else {
        field = field_number(&given);
        if (!field) raise_error("script", "cannot-use", &given, value);
    }
    Cell e = *value;
    return push_field(&e, field);
}

}  // namespace

const char* type_name(uint32_t code) { return code >= 1 && code <= EVT_LAST ? TYPE_NAMES[code] : nullptr; }

uint32_t type_code(const Cell* w) {
    for (uint32_t c = 1; c <= EVT_LAST; ++c)
        if (faces::word_is(w, TYPE_NAMES[c])) return c;
    return 0;
}

int32_t field_number(const Cell* w) {
    for (int32_t f = 1; f <= FIELD_LAST; ++f)
        if (faces::word_is(w, FIELD_NAMES[f])) return f;
    return 0;
}

Cell* push_field(const Cell* e, int32_t field) {
    Cell v = field_value(e, field);
    return stack::push(&v);
}

bool find_flag(const Cell* facet, const Cell* flag) {
    if (!facet || !is_word_kind(type_of(flag))) return false;
    int32_t want = symbol::resolve_alias(word::symbol_of(flag));
    auto same = [want](const Cell* w) {
        return symbol::resolve_alias(word::symbol_of(w)) == want;
    };
    if (type_of(facet) == TYPE_WORD) return same(facet);
    if (type_of(facet) != TYPE_BLOCK) return false;
    uint32_t n = block::length(facet);
    for (uint32_t i = 0; i < n; ++i) {
        Cell* v = block::item(facet, i);
        if ((type_of(v) == TYPE_WORD || type_of(v) == TYPE_LIT_WORD) && same(v)) return true;
    }
    return false;
}

void init() {
    TypeSpec spec = make_type_spec(TYPE_EVENT);
    set_slot<SLOT_MAKE>(spec, event_make);
    set_slot<SLOT_FORM>(spec, event_form);
    set_slot<SLOT_MOLD>(spec, event_mold);
    set_slot<SLOT_EVAL_PATH>(spec, event_eval_path);
    set_slot<SLOT_COMPARE>(spec, event_compare);
    set_slot<SLOT_PICK>(spec, event_pick);
    install_datatype(TYPE_SPEC_WORDS, &spec);
}

}  // namespace qor::gui::event
