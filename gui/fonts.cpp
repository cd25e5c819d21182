// Fonts and para.
#include "gui/fonts.hpp"

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_fields.hpp"
#include "gui/face_slots.hpp"
#include "gui/facet_sync.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::fonts {

namespace {

constexpr uint32_t PARA_BIT = 1u << faces::PARA;

bool same_object(const Cell* a, const Cell* b) {
    return type_of(a) == TYPE_OBJECT && type_of(b) == TYPE_OBJECT && a->data1 == b->data1;
}

bool has_word(const Cell* value, const char* spelling) {
    if (faces::word_is(value, spelling)) return true;
    if (!value || type_of(value) != TYPE_BLOCK) return false;
    uint32_t n = block::length(value);
    for (uint32_t i = 0; i < n; ++i)
        if (faces::word_is(block::item(value, i), spelling)) return true;
    return false;
}

// UTF-8 to at most 31 UTF-16 units.
void copy_name(const Cell* name, uint16_t* out) {
    out[0] = 0;
    if (!name || type_of(name) != TYPE_STRING) return;
    std::string s = string::to_utf8(name);
    int n = 0;
    for (size_t i = 0; i < s.size() && n < 31;) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = c;
        int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (len > 1) cp = c & (0xFF >> (len + 1));
        for (int k = 1; k < len && i + k < s.size(); ++k) cp = cp << 6 | (s[i + k] & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            if (n + 2 > 31) break;
            cp -= 0x10000;
            out[n++] = uint16_t(0xD800 + (cp >> 10));
            out[n++] = uint16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out[n++] = uint16_t(cp);
        }
    }
    out[n] = 0;
}

int32_t current_dpi() { return int32_t(ws().scale() * 96 + 0.5); }

uint32_t font_handle(const Cell* v) { return v && type_of(v) == TYPE_HANDLE ? handle::value_of(v) : 0; }

// Makes the screen font (and, when the cache exists, its 96-DPI copy).
uint32_t make_fonts(Cell* font_in) {
    WindowSystem& w = ws();
    if (!w.make_font) return 0;
    Cell font = *font_in;
    gc::CellRoot keep(&font);
    FontSpec screen = spec_of(&font, current_dpi());
    Cell* state = faces::facet(&font, STATE);
    if (!state) return 0;
    if (type_of(state) == TYPE_BLOCK && block::length(state) >= 3) {
        FontSpec base = spec_of(&font, 96);
        uint32_t copy = w.make_font(&base);
        uint32_t made = w.make_font(&screen);
        state = faces::facet(&font, STATE);
        *block::item(state, 2) = handle::make(copy, handle::CLASS_FONT);
        *block::item(state, 0) = handle::make(made, handle::CLASS_FONT);
        return made;
    }
    uint32_t made = w.make_font(&screen);
    if (!made) return 0;
    Cell cache = block::make(3);
    gc::CellRoot keep_cache(&cache);
    Cell h = handle::make(made, handle::CLASS_FONT);
    Cell none{TYPE_NONE, 0, 0, 0};
    block::append_copy(&cache, &h);
    block::append_copy(&cache, &none);
    block::append_copy(&cache, &none);
    *faces::facet(&font, STATE) = cache;
    return made;
}

uint32_t type_bits(const Cell* face, const Cell* para) {
    auto word = [&](int32_t field, const char* w) { return faces::word_is(faces::facet(para, field), w); };
    bool left = word(ALIGN, "left"), center = word(ALIGN, "center"), right = word(ALIGN, "right");
    bool top = word(V_ALIGN, "top"), middle = word(V_ALIGN, "middle"), bottom = word(V_ALIGN, "bottom");
    const Cell* wrap = faces::facet(para, WRAP);
    bool wraps = !wrap || type_of(wrap) == TYPE_NONE || (type_of(wrap) == TYPE_LOGIC && wrap->data1);
    uint32_t h = 0, v = 0;
    if (faces::type_is(face, "base") || faces::type_is(face, "rich-text")) {
        bool base = faces::type_is(face, "base");
        h = left ? 0 : center ? 0x1 : right ? 0x2 : base ? 0x1 : 0;
        v = top ? 0 : middle ? 0x4 : bottom ? 0x8 : base ? 0x4 : 0;
        return h | v | (wraps ? 0x10 : 0);
    }
    if (faces::type_is(face, "button") || faces::type_is(face, "toggle") || faces::type_is(face, "check") ||
        faces::type_is(face, "radio")) {
        bool button = faces::type_is(face, "button") || faces::type_is(face, "toggle");
        h = left ? 0x100 : center ? 0x300 : right ? 0x200 : button ? 0x300 : 0x100;
        v = top ? 0x400 : middle ? 0xC00 : bottom ? 0x800 : 0xC00;
        return h | v;
    }
    if (faces::type_is(face, "field") || faces::type_is(face, "area")) {
        h = center ? 0x1 : right ? 0x2 : 0;
        v = middle ? 0x200 : 0;
        return h | v | (wraps ? 0 : 0xC0);
    }
    if (faces::type_is(face, "text")) {
        h = center ? 0x1 : right ? 0x2 : 0;
        v = middle ? 0x200 : 0;
        return h | v | (wraps ? 0 : 0x4000);
    }
    return 0;
}

// Takes the face out of a font's or para's user list (searched from its head).
bool leave_users(Cell* owner, int32_t field, const Cell* face) {
    Cell* users = faces::facet(owner, field);
    if (!users || type_of(users) != TYPE_BLOCK) return false;
    Cell head = *users;
    series::set_index(&head, 0);
    uint32_t n = block::length(&head);
    for (uint32_t i = 0; i < n; ++i) {
        if (!same_object(block::item(&head, i), face)) continue;
        for (uint32_t k = i; k + 1 < n; ++k) *block::item(&head, k) = *block::item(&head, k + 1);
        block::truncate_at(&head, n - 1);
        --n;
        break;
    }
    return n == 0;
}

}  // namespace

FontSpec spec_of(const Cell* font, int32_t dpi) {
    FontSpec s{};
    int32_t size = 0;
    const Cell* sz = faces::facet(font, SIZE);
    if (sz && type_of(sz) == TYPE_INTEGER && integer::get_value(sz) > 0) size = integer::get_value(sz);
    if (!size) {
        const Cell* def = system_fields::value({"view", "fonts", "size"});
        size = def && type_of(def) == TYPE_INTEGER && integer::get_value(def) > 0 ? integer::get_value(def) : 9;
    }
    s.height = size * dpi / -72;
    const Cell* angle = faces::facet(font, ANGLE);
    s.orientation = angle && type_of(angle) == TYPE_INTEGER ? integer::get_value(angle) * 10 : 0;
    const Cell* aa = faces::facet(font, ANTI_ALIAS);
    s.quality = aa && type_of(aa) == TYPE_LOGIC && aa->data1 ? 4 : faces::word_is(aa, "ClearType") ? 5 : 0;
    copy_name(faces::facet(font, NAME), s.name);
    const Cell* style = faces::facet(font, STYLE);
    s.weight = has_word(style, "bold") ? 700 : 0;
    s.italic = has_word(style, "italic");
    s.underline = has_word(style, "underline");
    s.strike = has_word(style, "strike");
    return s;
}

uint32_t face_font(const Cell* face) {
    Cell* font = faces::facet(face, faces::FONT);
    if (!font || type_of(font) != TYPE_OBJECT || object::field_count(font) <= PARENT) return 0;
    Cell* state = faces::facet(font, STATE);
    if (state && type_of(state) == TYPE_BLOCK && block::length(state) >= 1)
        if (uint32_t h = font_handle(block::item(state, 0))) return h;
    Cell f = *font;
    gc::CellRoot keep(&f);
    return make_fonts(&f);
}

void free_font(Cell* font) {
    Cell* state = faces::facet(font, STATE);
    if (!state || type_of(state) != TYPE_BLOCK) return;
    bool freed = false;
    uint32_t n = block::length(state);
    for (uint32_t i : {0u, 2u}) {
        if (i >= n) continue;
        Cell* c = block::item(state, i);
        if (uint32_t h = font_handle(c)) {
            if (ws().free_font) ws().free_font(h);
            *c = Cell{TYPE_NONE, 0, 0, 0};
            freed = true;
        }
    }
    if (freed) *faces::facet(font, STATE) = Cell{TYPE_NONE, 0, 0, 0};
}

void update_font(Cell* font_in, int32_t field) {
    Cell font = *font_in;
    gc::CellRoot keep(&font);
    Cell* state = faces::facet(&font, STATE);
    if (!state || type_of(state) != TYPE_BLOCK) return;
    if (field == -1) {
        free_font(&font);
        return;
    }
    if (field == NAME || field == SIZE || field == STYLE || field == ANGLE || field == ANTI_ALIAS) {
        free_font(&font);
        make_fonts(&font);
    }
}

void unlink_face(const Cell* face_in) {
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    Cell* font = faces::facet(&face, faces::FONT);
    if (font && type_of(font) == TYPE_OBJECT && object::field_count(font) > PARENT) {
        Cell f = *font;
        gc::CellRoot keep_font(&f);
        if (leave_users(&f, PARENT, &face)) free_font(&f);
    }
    Cell* para = faces::facet(&face, faces::PARA);
    if (para && type_of(para) == TYPE_OBJECT && object::field_count(para) > PARA_PARENT) {
        Cell p = *para;
        leave_users(&p, PARA_PARENT, &face);
    }
}

uint32_t para_bits(const Cell* face) {
    const Cell* para = faces::facet(face, faces::PARA);
    if (!para || type_of(para) != TYPE_OBJECT) return 0;
    return type_bits(face, para);
}

uint32_t para_keep_mask(const Cell* face) {
    if (faces::type_is(face, "base") || faces::type_is(face, "rich-text")) return ~0x2Fu;
    if (faces::type_is(face, "button") || faces::type_is(face, "toggle") || faces::type_is(face, "check") ||
        faces::type_is(face, "radio"))
        return ~0xF00u;
    if (faces::type_is(face, "field") || faces::type_is(face, "text")) return ~0x40C3u;
    return 0;
}

void update_para(Cell* face_in, int32_t) {
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    uint32_t hwnd = faces::handle_of(&face);
    Cell* type = faces::facet(&face, faces::TYPE);
    if (!hwnd || !type || type_of(type) != TYPE_WORD) return;
    WindowSystem& w = ws();
    if (faces::type_is(&face, "area")) {
        // The edit control takes its wrapping at creation only: make it again.
        uint32_t parent = w.parent_of(hwnd);
        uint32_t made = w.make_view(&face, parent);
        if (made) {
            faces::free(w.face_slot(hwnd));
            w.set_face_slot(hwnd, 0);
            w.destroy_window(hwnd);
            Cell* state = faces::facet(&face, faces::STATE);
            *block::item(state, 0) = handle::make(made, handle::CLASS_WINDOW);
        }
    } else if (uint32_t keep_mask = para_keep_mask(&face)) {
        if (w.set_style_bits) w.set_style_bits(hwnd, keep_mask, para_bits(&face));
    }
    set_change_mask(&face, change_mask(&face) | PARA_BIT);
}

}  // namespace qor::gui::fonts
