// Carrying changed facets to windows.
#include "gui/facet_sync.hpp"

#include <initializer_list>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_support.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series.hpp"
#include "gui/face_slots.hpp"
#include "gui/fonts.hpp"
#include "gui/window_proc.hpp"
#include "gui/window_system.hpp"
#include "runtime/collector.hpp"

namespace qor::gui {

namespace {

constexpr uint32_t bit(int32_t facet) { return 1u << facet; }

Cell* mask_cell(const Cell* face) {
    Cell* state = faces::facet(face, faces::STATE);
    if (!state || type_of(state) != TYPE_BLOCK || block::length(state) < 2) return nullptr;
    Cell* m = block::item(state, 1);
    return m && type_of(m) == TYPE_INTEGER ? m : nullptr;
}

bool truthy(const Cell* c) {
    return c && type_of(c) != TYPE_NONE && !(type_of(c) == TYPE_LOGIC && !c->data1);
}

bool is_any(const Cell* face, std::initializer_list<const char*> types) {
    for (const char* t : types)
        if (faces::type_is(face, t)) return true;
    return false;
}

// The faces of a pane block (from its head) that have windows, in order.
std::vector<uint32_t> pane_windows(const Cell* face) {
    std::vector<uint32_t> out;
    Cell* pane = faces::facet(face, faces::PANE);
    if (!pane || type_of(pane) != TYPE_BLOCK) return out;
    Cell head = *pane;
    series::set_index(&head, 0);
    uint32_t n = block::length(&head);
    for (uint32_t i = 0; i < n; ++i)
        if (uint32_t h = faces::handle_of(block::item(&head, i))) out.push_back(h);
    return out;
}

// Puts the pane's windows one after the other on top, in one pass.
void restack(const Cell* face) {
    WindowSystem& w = ws();
    std::vector<uint32_t> hs = pane_windows(face);
    if (hs.empty()) return;
    uint32_t batch = w.begin_positions ? w.begin_positions(int32_t(hs.size())) : 0;
    for (uint32_t h : hs) {
        WindowPos p{h, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE, 0};
        if (batch) batch = w.defer_position(batch, &p);
        else if (w.set_window_pos) w.set_window_pos(&p);
    }
    if (batch && w.end_positions) w.end_positions(batch);
}

void apply(uint32_t hwnd, Cell* face, int32_t facet) {
    if (ws().apply_facet) ws().apply_facet(hwnd, face, facet);
}

void set_visible(uint32_t hwnd, Cell* face, bool visible, WindowPos* record) {
    if (record) {
        record->flags |= visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
        return;
    }
    if (visible && faces::type_is(face, "window")) {
        if (ws().show_window) ws().show_window(hwnd);
    } else if (ws().set_visible) {
        ws().set_visible(hwnd, visible);
    }
}

// One face's pending changes, in the handlers' fixed order.  With a record,
// only the geometry goes, into the record; otherwise the kept bits stay
// pending.  An error leaves the bits not yet applied pending.
void apply_changes(Cell* face_in, uint32_t keep, WindowPos* record) {
    Cell face = *face_in;
    gc::CellRoot keep_face(&face);
    uint32_t hwnd = faces::handle_of(&face);
    if (!hwnd) return;
    WindowSystem& w = ws();
    uint32_t pending = change_mask(&face);
    uint32_t todo = record ? pending & GEOMETRY_MASK : pending & ~keep;
    if (!todo) return;
    set_change_mask(&face, pending & ~todo);
    uint32_t left = todo;
    auto due = [&](int32_t facet) {
        if (!(left & bit(facet))) return false;
        left &= ~bit(facet);
        return true;
    };
    try {
        if (due(faces::OFFSET)) {
            int32_t x, y;
            if (facet_pixels(&face, faces::OFFSET, &x, &y)) {
                if (record) {
                    record->x = x;
                    record->y = y;
                    record->flags &= ~SWP_NOMOVE;
                } else if (w.set_window_pos) {
                    WindowPos p{hwnd, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE, 0};
                    w.set_window_pos(&p);
                }
            }
        }
        if (due(faces::SIZE)) {
            int32_t x, y;
            if (facet_pixels(&face, faces::SIZE, &x, &y)) {
                Cell* size = faces::facet(&face, faces::SIZE);
                int32_t view = w.window_word(hwnd, -12);
                w.set_window_word(hwnd, -12, type_of(size) == TYPE_PAIR ? view | 0x10 : view & ~0x10);
                if (record) {
                    record->width = x;
                    record->height = y;
                    record->flags &= ~SWP_NOSIZE;
                } else if (w.set_window_pos) {
                    WindowPos p{hwnd, 0, 0, x, y, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, 0};
                    w.set_window_pos(&p);
                }
            }
        }
        if (due(faces::TEXT) && w.set_text) w.set_text(hwnd, &face);
        if (due(faces::DATA)) apply(hwnd, &face, faces::DATA);
        if (due(faces::ENABLED) && w.enable) {
            Cell* e = faces::facet(&face, faces::ENABLED);
            w.enable(hwnd, !(e && type_of(e) == TYPE_LOGIC && !e->data1));
        }
        if (due(faces::VISIBLE)) set_visible(hwnd, &face, truthy(faces::facet(&face, faces::VISIBLE)), record);
        if (due(faces::SELECTED)) {
            if (faces::type_is(&face, "window")) {
                Cell* sel = faces::facet(&face, faces::SELECTED);
                uint32_t target = sel && type_of(sel) == TYPE_OBJECT ? faces::handle_of(sel) : hwnd;
                if (target && w.focus) w.focus(target);
            } else {
                apply(hwnd, &face, faces::SELECTED);
            }
        }
        if (due(faces::FLAGS)) {
            w.set_window_word(hwnd, 16, int32_t(faces::get_flags(faces::facet(&face, faces::FLAGS))));
            apply(hwnd, &face, faces::FLAGS);
        }
        if (due(faces::DRAW)) apply(hwnd, &face, faces::DRAW);
        if (due(faces::COLOR)) apply(hwnd, &face, faces::COLOR);
        if (due(faces::PANE) && !faces::type_is(&face, "tab-panel")) restack(&face);
        if (due(faces::RATE)) {
            Cell rate = *faces::facet(&face, faces::RATE);
            apply_rate(hwnd, &rate);
        }
        if (due(faces::FONT) && w.set_font) w.set_font(hwnd, fonts::face_font(&face));
        if (due(faces::PARA)) apply(hwnd, &face, faces::PARA);
        if (due(faces::MENU)) apply(hwnd, &face, faces::MENU);
        if (due(faces::IMAGE)) apply(hwnd, &face, faces::IMAGE);
        if (due(faces::OPTIONS)) apply(hwnd, &face, faces::OPTIONS);
    } catch (...) {
        set_change_mask(&face, change_mask(&face) | left);
        throw;
    }
}

// The parent window a face's geometry is batched under, or 0.
uint32_t batch_parent(const Cell* face) {
    uint32_t hwnd = faces::handle_of(face);
    if (!hwnd || !(change_mask(face) & GEOMETRY_MASK)) return 0;
    if (is_any(face, {"window", "tab-panel", "group-box", "area", "camera"})) return 0;
    if (faces::type_is(face, "base") && (ws().window_word(hwnd, -12) & 0x2)) return 0;
    return ws().parent_of(hwnd);
}

// The values of a pane series a notice concerns: `part` values from `index`.
std::vector<Cell> noticed(const Cell* target, int32_t index, int32_t part) {
    std::vector<Cell> out;
    if (!target || type_of(target) != TYPE_BLOCK) return out;
    Cell head = *target;
    series::set_index(&head, 0);
    uint32_t n = block::length(&head);
    for (int32_t i = index; i < index + part && i >= 0 && uint32_t(i) < n; ++i)
        out.push_back(*block::item(&head, uint32_t(i)));
    return out;
}

}  // namespace

uint32_t change_mask(const Cell* face) {
    Cell* m = mask_cell(face);
    return m ? uint32_t(integer::get_value(m)) : 0;
}

void set_change_mask(Cell* face, uint32_t mask) {
    if (Cell* m = mask_cell(face)) *m = integer::make(int32_t(mask));
}

bool facet_pixels(const Cell* face, int32_t facet, int32_t* x, int32_t* y) {
    Cell* c = faces::facet(face, facet);
    if (!c) return false;
    if (type_of(c) == TYPE_PAIR) {
        *x = faces::to_pixels(pair::x_of(c));
        *y = faces::to_pixels(pair::y_of(c));
        return true;
    }
    if (type_of(c) == TYPE_POINT2D) {
        *x = faces::to_pixels(point::coordinate(c, 0));
        *y = faces::to_pixels(point::coordinate(c, 1));
        return true;
    }
    return false;
}

void update_view(Cell* face) { apply_changes(face, 0, nullptr); }

void update_views(Cell* block_in) {
    uint32_t n = block::length(block_in);
    for (uint32_t i = 0; i < n; ++i) {
        Cell* f = block::item(block_in, i);
        if (type_of(f) != TYPE_OBJECT) number_support::raise_invalid_type(type_of(f));
    }
    Cell list = *block_in;
    gc::CellRoot keep(&list);
    WindowSystem& w = ws();
    bool batching = w.begin_positions && w.defer_position && w.end_positions;
    std::vector<uint32_t> parents(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        Cell f = *block::item(&list, i);
        if (faces::type_is(&f, "screen")) continue;
        parents[i] = batching ? batch_parent(&f) : 0;
        apply_changes(&f, parents[i] ? GEOMETRY_MASK : 0, nullptr);
    }
    // The kept-back geometry, one deferred pass per run of faces under one parent.
    uint32_t i = 0;
    while (i < n) {
        if (!parents[i]) {
            ++i;
            continue;
        }
        uint32_t end = i;
        while (end < n && parents[end] == parents[i]) ++end;
        uint32_t batch = w.begin_positions(8);
        for (uint32_t k = i; k < end; ++k) {
            Cell f = *block::item(&list, k);
            WindowPos p{faces::handle_of(&f), 0, 0, 0, 0,
                        SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, 0};
            apply_changes(&f, 0, &p);
            if (batch) batch = w.defer_position(batch, &p);
            if (!batch && w.set_window_pos) w.set_window_pos(&p);
        }
        if (batch) w.end_positions(batch);
        i = end;
    }
}

void update_facet(Cell* const* args) {
    Cell owner = *args[0];
    gc::CellRoot keep_owner(&owner);
    const Cell* word = args[1];
    const Cell* action = args[3];
    int32_t index = type_of(args[5]) == TYPE_INTEGER ? integer::get_value(args[5]) : 0;
    int32_t part = type_of(args[6]) == TYPE_INTEGER ? integer::get_value(args[6]) : 0;
    uint32_t hwnd = faces::handle_of(&owner);
    if (!hwnd) return;
    WindowSystem& w = ws();
    auto acts = [&](std::initializer_list<const char*> names) {
        for (const char* a : names)
            if (faces::word_is(action, a)) return true;
        return false;
    };
    if (faces::word_is(word, "pane")) {
        std::vector<Cell> values = noticed(args[2], index, part);
        if (acts({"remove", "take", "clear"})) {
            // Detached windows are hidden and leave their parent.
            for (Cell& v : values) {
                uint32_t h = faces::handle_of(&v);
                if (!h) continue;
                if (w.set_visible) w.set_visible(h, false);
                if (w.set_parent) w.set_parent(h, 0);
            }
        } else if (acts({"inserted", "appended", "poke", "poked", "put", "moved", "changed"})) {
            if (!faces::type_is(&owner, "tab-panel")) {
                for (Cell& v : values) {
                    uint32_t h = faces::handle_of(&v);
                    if (!h) continue;
                    if (w.set_parent && w.parent_of(h) != hwnd) w.set_parent(h, hwnd);
                    // A face hidden by its script stays hidden.
                    if (truthy(faces::facet(&v, faces::VISIBLE)) && w.set_visible) w.set_visible(h, true);
                }
            }
            restack(&owner);
        } else {
            return;
        }
        set_change_mask(&owner, change_mask(&owner) & ~bit(faces::PANE));
        return;
    }
    if (faces::word_is(word, "data") &&
        (faces::type_is(&owner, "text-list") || faces::type_is(&owner, "tab-panel") ||
         ((faces::type_is(&owner, "drop-list") || faces::type_is(&owner, "drop-down")) && part != 0))) {
        apply(hwnd, &owner, faces::DATA);
        set_change_mask(&owner, change_mask(&owner) & ~bit(faces::DATA));
        return;
    }
    if (faces::word_is(word, "data") && (faces::type_is(&owner, "drop-list") || faces::type_is(&owner, "drop-down")))
        return;
    update_view(&owner);
}

}  // namespace qor::gui
