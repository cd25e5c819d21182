// The text-box layouts of rich-text faces over DirectWrite: a face's layout
// is made from its text, font, para, size, tabs, line spacing and style
// block, kept in its `handles` block ([layout target text stale?]) and made
// again when that block is missing or marked stale, or what it was made
// from changed; the metrics queries of text-box-metrics are answered from
// it, so a face needs no window.
#include "gui/backend/win32_backend.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/backend/d2d_text.hpp"

#include <initializer_list>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/symbol.hpp"
#include "gui/face_slots.hpp"
#include "runtime/collector.hpp"
#include "runtime/resources.hpp"

namespace qor::gui::win32 {

namespace {

enum HandleItem : uint32_t { H_LAYOUT = 0, H_TARGET, H_TEXT, H_STALE, H_COUNT };

const Cell NONE_CELL{TYPE_NONE, 0, 0, 0};

// The face's `handles` field, or null when the face has none.
Cell* handles_of(const Cell* face) {
    if (!face || type_of(face) != TYPE_OBJECT) return nullptr;
    int32_t sym = symbol::find("handles", true);
    if (sym <= 0 || !face->data1) return nullptr;
    return context::value_by_symbol(sym, reinterpret_cast<Node>(face->data1));
}

bool same_value(const Cell* a, const Cell* b) {
    return type_of(a) == type_of(b) && a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
}

// What a kept layout was made from, by resource record: facet changes do
// not all mark `handles` stale (a string edited in place, a style block or
// font changed in place), so a layout whose sources differ is made again.
std::vector<uint64_t> g_fingerprints;

uint64_t mix(uint64_t h, uint32_t v) { return (h ^ v) * 1099511628211ull; }

uint64_t mix_cell(uint64_t h, const Cell* c) {
    if (!c) return mix(h, 0xFFFFFFFFu);
    return mix(mix(mix(mix(h, uint32_t(type_of(c))), c->data1), c->data2), c->data3);
}

uint64_t mix_fields(uint64_t h, const Cell* object, std::initializer_list<const char*> names) {
    h = mix_cell(h, object);
    if (object && type_of(object) == TYPE_OBJECT)
        for (const char* name : names) h = mix_cell(h, d2d::field(object, name));
    return h;
}

uint64_t fingerprint(const Cell* face, const std::vector<uint32_t>& chars) {
    uint64_t h = 14695981039346656037ull;
    for (uint32_t c : chars) h = mix(h, c);
    h = mix(h, uint32_t(chars.size()));
    h = mix_cell(h, faces::facet(face, faces::SIZE));
    h = mix_fields(h, faces::facet(face, faces::FONT), {"name", "size", "style"});
    h = mix_fields(h, faces::facet(face, faces::PARA), {"align", "v-align", "wrap?"});
    h = mix_cell(h, d2d::field(face, "tabs"));
    h = mix_cell(h, d2d::field(face, "line-spacing"));
    const Cell* data = faces::facet(face, faces::DATA);
    h = mix_cell(h, data);
    if (data && type_of(data) == TYPE_BLOCK) {
        Cell styles = *data;
        for (uint32_t i = 0, n = block::length(&styles); i < n; ++i) h = mix_cell(h, block::item(&styles, i));
    }
    return h;
}

// The layout a handle names, when it is one this file made and the resource
// registry still holds it: a `handles` block is the user's to change.
IDWriteTextLayout* layout_of(const Cell* h, uint64_t print) {
    if (type_of(h) != TYPE_HANDLE || handle::class_of(h) != handle::CLASS_RICH_TEXT || !handle::value_of(h))
        return nullptr;
    int32_t record = int32_t(h->data3);
    if (record < 0 || uint32_t(record) >= resource_table::capacity()) return nullptr;
    const resource_table::Entry* e = resource_table::entry(record);
    if (!e || e->handle != handle::value_of(h) || (e->type & 0xFF) != uint32_t(backend().com_resource) ||
        (e->type & resource_table::ENTRY_FREE))
        return nullptr;
    if (size_t(record) >= g_fingerprints.size() || g_fingerprints[size_t(record)] != print) return nullptr;
    return reinterpret_cast<IDWriteTextLayout*>(static_cast<uintptr_t>(handle::value_of(h)));
}

// The kept layout when it is still good for this text.
IDWriteTextLayout* kept_layout(const Cell* face, const Cell* text, uint64_t print) {
    Cell* handles = handles_of(face);
    if (!handles || type_of(handles) != TYPE_BLOCK || block::length(handles) < H_COUNT) return nullptr;
    const Cell* stale = block::item(handles, H_STALE);
    if (type_of(stale) != TYPE_LOGIC || stale->data1) return nullptr;
    if (!same_value(block::item(handles, H_TEXT), text)) return nullptr;
    return layout_of(block::item(handles, H_LAYOUT), print);
}

void mark_stale(const Cell* face) {
    Cell* handles = handles_of(face);
    if (handles && type_of(handles) == TYPE_BLOCK && block::length(handles) >= H_COUNT)
        *block::item(handles, H_STALE) = Cell{TYPE_LOGIC, 1, 0, 0};
}

IDWriteTextLayout* make_layout(const Cell* face, ID2D1DeviceContext* dc) {
    IDWriteTextLayout* layout = nullptr;
    try {
        layout = d2d::face_layout(face, dc);   // releases its layout when a style fails
    } catch (...) {
        mark_stale(face);
        throw;
    }
    return layout;
}

// Keeps the layout in the face's `handles` block (made when it is not one);
// false when the face has no such field or the registry cannot take it.
bool keep_layout(const Cell* face, IDWriteTextLayout* layout, ID2D1DeviceContext* dc, const Cell* text,
                 uint64_t print) {
    int32_t type = backend().com_resource;
    Cell* handles = handles_of(face);
    if (type <= 0 || !handles) return false;
    if (type_of(handles) != TYPE_BLOCK || block::length(handles) < H_COUNT) {
        Cell fresh = block::make(int32_t(H_COUNT));
        gc::CellRoot keep(&fresh);
        Cell items[H_COUNT] = {NONE_CELL, handle::make(0, handle::CLASS_NONE), NONE_CELL, Cell{TYPE_LOGIC, 0, 0, 0}};
        for (const Cell& item : items) block::append_copy(&fresh, &item);
        handles = handles_of(face);   // the allocation may have moved the object's values
        if (!handles) return false;
        *handles = fresh;
    }
    Cell kept_text = *text;
    if (g_fingerprints.size() < resource_table::capacity()) g_fingerprints.resize(resource_table::capacity());
    // Nothing allocates between taking the record and storing its handle,
    // so no collection can sweep it first.
    int32_t record = resource_table::alloc_record(uint32_t(reinterpret_cast<uintptr_t>(layout)), uint32_t(type));
    Cell h = handle::make(uint32_t(reinterpret_cast<uintptr_t>(layout)), handle::CLASS_RICH_TEXT);
    h.data3 = uint32_t(record);
    if (g_fingerprints.size() <= size_t(record)) g_fingerprints.resize(size_t(record) + 1);
    g_fingerprints[size_t(record)] = print;
    *block::item(handles, H_LAYOUT) = h;
    *block::item(handles, H_TARGET) = handle::make(uint32_t(reinterpret_cast<uintptr_t>(dc)), handle::CLASS_NONE);
    *block::item(handles, H_TEXT) = kept_text;
    *block::item(handles, H_STALE) = Cell{TYPE_LOGIC, 0, 0, 0};
    return true;
}

}  // namespace

bool text_box_metrics(Cell* face, const Cell* arg, int32_t type, Cell* out) {
    const Cell* text_facet = faces::facet(face, faces::TEXT);
    if (!text_facet || type_of(text_facet) != TYPE_STRING) return false;
    Cell text = *text_facet;
    gc::CellRoot keep_text(&text);
    std::vector<uint32_t> chars = rich_text::code_points(&text);
    uint64_t print = fingerprint(face, chars);
    if (IDWriteTextLayout* kept = kept_layout(face, &text, print)) return layout_metrics(kept, chars, arg, type, out);

    d2d::init();
    ID2D1DeviceContext* dc = d2d::devices().context;
    if (!dc || !d2d::devices().write) return false;
    IDWriteTextLayout* layout = make_layout(face, dc);
    if (!layout) return false;
    bool kept = false;
    try {
        kept = keep_layout(face, layout, dc, &text, print);
    } catch (...) {
        layout->Release();
        throw;
    }
    // Once kept, the registry releases the layout when no value holds it.
    struct Drop {
        IDWriteTextLayout* layout;
        bool own;
        ~Drop() {
            if (own) layout->Release();
        }
    } drop{layout, !kept};
    return layout_metrics(layout, chars, arg, type, out);
}

}  // namespace qor::gui::win32
