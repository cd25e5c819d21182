// The face slot table and face access.  The table is one block of value
// cells reached from the collector's roots: a used slot holds the face, a
// free one an integer!, the index of the next free slot (-1 ends the list).
#include "gui/face_slots.hpp"

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/object.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/word.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::faces {

namespace {

constexpr int32_t INITIAL_SLOTS = 100;

Cell g_table{TYPE_NONE, 0, 0, 0};
int32_t g_free_head = -1;
int32_t g_count = 0;
int32_t g_used = 0;

// Chains slots from..count-1 as free, the last ending the list.
void chain_free(int32_t from, int32_t count) {
    for (int32_t i = from; i < count; ++i) {
        Cell next = integer::make(i + 1 < count ? i + 1 : -1);
        block::append_copy(&g_table, &next);
    }
    g_free_head = from;
}

const struct { const char* word; uint32_t bit; } FLAG_WORDS[] = {
    {"all-over", FACE_ALL_OVER}, {"focusable", FACE_FOCUSABLE}, {"tri-state", FACE_TRI_STATE},
    {"scrollable", FACE_SCROLLABLE}, {"password", FACE_PASSWORD}, {"no-sync", FACE_NO_SYNC},
    {"fullscreen", FACE_FULLSCREEN}, {"popup", FACE_POPUP}, {"modal", FACE_MODAL},
    {"resize", FACE_RESIZE}, {"no-buttons", FACE_NO_BUTTONS}, {"no-max", FACE_NO_MAX},
    {"no-min", FACE_NO_MIN}, {"no-title", FACE_NO_TITLE}, {"no-border", FACE_NO_BORDER},
};

uint32_t flag_bit(const Cell* w) {
    for (const auto& f : FLAG_WORDS)
        if (word_is(w, f.word)) return f.bit;
    raise_error("script", "invalid-arg", w);
}

}  // namespace

void init() {
    // The collector's roots go with each new memory manager: register again.
    g_table = Cell{TYPE_NONE, 0, 0, 0};
    gc::unregister_global_cell(&g_table);
    gc::register_global_cell(&g_table);
    block::init_cell(&g_table, INITIAL_SLOTS);
    g_count = INITIAL_SLOTS;
    g_used = 0;
    chain_free(0, g_count);
}

int32_t alloc(const Cell* face) {
    Cell copy = *face;
    gc::CellRoot keep(&copy);
    if (type_of(&g_table) != TYPE_BLOCK) init();
    if (g_free_head == -1) {
        int32_t old = g_count;
        g_count *= 2;
        chain_free(old, g_count);
    }
    int32_t index = g_free_head;
    Cell* slot = block::cell_at(&g_table, uint32_t(index));
    g_free_head = integer::get_value(slot);
    *slot = copy;
    g_used++;
    return index + 1;
}

void free(int32_t index) {
    if (index <= 0 || index > g_count) return;
    Cell* slot = block::cell_at(&g_table, uint32_t(index - 1));
    if (type_of(slot) == TYPE_INTEGER) return;   // already free
    *slot = integer::make(g_free_head);
    g_free_head = index - 1;
    g_used--;
}

Cell* get(int32_t index) {
    if (index <= 0 || index > g_count || type_of(&g_table) != TYPE_BLOCK) return nullptr;
    Cell* slot = block::cell_at(&g_table, uint32_t(index - 1));
    return type_of(slot) == TYPE_OBJECT ? slot : nullptr;
}

int32_t capacity() { return g_count; }
int32_t used() { return g_used; }

Cell* of_window(uint32_t hwnd) {
    if (!hwnd) return nullptr;
    return get(ws().face_slot(hwnd));
}

void link_window(uint32_t hwnd, const Cell* face) { ws().set_face_slot(hwnd, alloc(face)); }

Cell* facet(const Cell* face, int32_t n) {
    if (!face || type_of(face) != TYPE_OBJECT) return nullptr;
    if (n < 0 || uint32_t(n) >= object::field_count(face)) return nullptr;
    return object::values_head(face) + n;
}

bool word_is(const Cell* value, const char* spelling) {
    if (!value || !is_word_kind(type_of(value))) return false;
    int32_t want = symbol::find(spelling, true);
    if (want <= 0) return false;
    return symbol::resolve_alias(word::symbol_of(value)) == symbol::resolve_alias(want);
}

bool type_is(const Cell* face, const char* type) { return word_is(facet(face, TYPE), type); }

uint32_t handle_of(const Cell* face) {
    Cell* state = facet(face, STATE);
    if (!state || type_of(state) != TYPE_BLOCK) return 0;
    Cell* first = block::item(state, 0);
    return first && type_of(first) == TYPE_HANDLE ? first->data2 : 0;
}

uint32_t event_window(const Message* msg) {
    WindowSystem& w = ws();
    uint32_t hwnd = msg->hwnd;
    if (hwnd && w.face_slot(hwnd)) return hwnd;
    uint32_t parent = hwnd ? w.parent_of(hwnd) : 0;
    if (parent && w.face_slot(parent)) return parent;
    uint32_t under = w.own_window_at(msg->x, msg->y);
    if (under && w.face_slot(under)) return under;
    return 0xFFFFFFFFu;
}

uint32_t get_flags(const Cell* value) {
    if (!value) return 0;
    if (type_of(value) == TYPE_WORD) return flag_bit(value);
    if (type_of(value) != TYPE_BLOCK) return 0;
    uint32_t bits = 0;
    uint32_t n = block::length(value);
    for (uint32_t i = 0; i < n; ++i) {
        Cell* item = block::item(value, i);
        if (type_of(item) == TYPE_WORD || type_of(item) == TYPE_LIT_WORD) bits |= flag_bit(item);
    }
    return bits;
}

int32_t to_pixels(double v) { return int32_t(v * ws().scale() + 0.5); }
double to_logical(double v) { return v / ws().scale(); }

}  // namespace qor::gui::faces
