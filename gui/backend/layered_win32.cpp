// Layered faces: a face with per-pixel transparency is drawn off-screen by
// the draw backend and handed to the system with UpdateLayeredWindow.
// Before Windows 8 a child window cannot be layered, so such a face is a
// top-level popup over its parent ("stand-in"): it is kept at its face's
// place when the window moves, clipped to its ancestors' client areas and
// shown and hidden with the window.
#include "gui/backend/win32_backend.hpp"
#include "gui/backend/d2d_device.hpp"
#include "gui/backend/faces_backend.hpp"

#include <algorithm>
#include <vector>

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "gui/box_geometry.hpp"
#include "gui/controls.hpp"
#include "gui/draw_backend.hpp"
#include "gui/draw_dialect.hpp"
#include "gui/face_slots.hpp"
#include "runtime/collector.hpp"

namespace qor::gui::win32 {

namespace {

constexpr LONG VIEW_CLIPPED = 0x1;   // a window region is set
constexpr int32_t MAX_DEPTH = 64;    // panes nest no deeper in practice; a cycle stops here

// Windows moved through the position entries whose stand-ins follow once
// the move is done (before Windows 8 only).
std::vector<uint32_t> g_moved;

bool is_layered(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

// A layered face that is a popup of its own rather than a child window.
bool is_stand_in(HWND hwnd) {
    return IsWindow(hwnd) && is_layered(hwnd) && (GetWindowLongW(hwnd, GWL_STYLE) & WS_POPUP) &&
           faces::of_window(from_hwnd(hwnd)) && !faces::type_is(faces::of_window(from_hwnd(hwnd)), "window");
}

bool visible_facet(const Cell* face) {
    const Cell* v = faces::facet(face, faces::VISIBLE);
    return !(v && type_of(v) == TYPE_LOGIC && v->data1 == 0);
}

// The face's offset in pixels of its parent's client area.
POINT face_offset(const Cell* face) {
    const Cell* offset = faces::facet(face, faces::OFFSET);
    double x = 0, y = 0;
    if (offset && type_of(offset) == TYPE_PAIR) {
        x = pair::x_of(offset);
        y = pair::y_of(offset);
    } else if (offset && type_of(offset) == TYPE_POINT2D) {
        x = point::coordinate(offset, 0);
        y = point::coordinate(offset, 1);
    }
    return POINT{faces::to_pixels(x), faces::to_pixels(y)};
}

// The window the face sits in: its parent face's, else the child's parent
// or the popup's owner.
HWND parent_window(HWND hwnd, const Cell* face) {
    const Cell* parent = faces::facet(face, faces::PARENT);
    if (parent && type_of(parent) == TYPE_OBJECT)
        if (HWND p = to_hwnd(faces::handle_of(parent)); p && IsWindow(p)) return p;
    return (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : GetWindow(hwnd, GW_OWNER);
}

// The window region of a stand-in: the part of it inside every ancestor's
// client area; removed again when all of it shows.
void clip_stand_in(HWND hwnd, HWND parent, POINT screen, int32_t w, int32_t h) {
    box_geometry::Box shown{0, 0, w, h};
    for (HWND a = parent; a && !shown.empty(); a = (GetWindowLongW(a, GWL_STYLE) & WS_CHILD) ? GetParent(a) : nullptr) {
        RECT client{};
        POINT origin{0, 0};
        if (!GetClientRect(a, &client) || !ClientToScreen(a, &origin)) break;
        shown = box_geometry::intersect(
            shown, box_geometry::visible_part(screen.x - origin.x, screen.y - origin.y, w, h, client.right,
                                              client.bottom, 0));
    }
    LONG flags = slot(hwnd, SLOT_VIEW_FLAGS);
    HWND companion = to_hwnd(uint32_t(slot(hwnd, SLOT_COMPANION)));
    bool whole = shown == box_geometry::Box{0, 0, w, h};
    if (whole) {
        if (!(flags & VIEW_CLIPPED)) return;
        SetWindowRgn(hwnd, nullptr, TRUE);
        if (companion) SetWindowRgn(companion, nullptr, TRUE);
        set_slot(hwnd, SLOT_VIEW_FLAGS, flags & ~VIEW_CLIPPED);
        return;
    }
    set_slot(hwnd, SLOT_VIEW_FLAGS, flags | VIEW_CLIPPED);
    // The system owns a region once it is set: each window gets its own.
    SetWindowRgn(hwnd, CreateRectRgn(shown.left, shown.top, shown.right, shown.bottom), TRUE);
    if (companion) SetWindowRgn(companion, CreateRectRgn(shown.left, shown.top, shown.right, shown.bottom), TRUE);
}

// Puts a stand-in over its face's place, clipped, and shown or hidden as
// its face and the window above it are.
void follow(HWND hwnd, const Cell* face, bool ancestors_shown) {
    HWND parent = parent_window(hwnd, face);
    if (!parent) return;
    POINT screen = face_offset(face);
    if (!ClientToScreen(parent, &screen)) return;
    LONG packed = pack_xy(screen.x, screen.y);
    HWND companion = to_hwnd(uint32_t(slot(hwnd, SLOT_COMPANION)));
    RECT now{};
    GetWindowRect(hwnd, &now);
    set_slot(hwnd, SLOT_ORIGIN, packed);
    if (now.left != screen.x || now.top != screen.y) {
        UINT how = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
        SetWindowPos(hwnd, nullptr, screen.x, screen.y, 0, 0, how);
        if (companion) SetWindowPos(companion, nullptr, screen.x, screen.y, 0, 0, how);
    }
    GetWindowRect(hwnd, &now);
    clip_stand_in(hwnd, parent, screen, now.right - now.left, now.bottom - now.top);
    bool show = ancestors_shown && visible_facet(face);
    if (bool(IsWindowVisible(hwnd)) != show) {
        ShowWindow(hwnd, show ? SW_SHOWNA : SW_HIDE);
        if (companion) ShowWindow(companion, show ? SW_SHOWNA : SW_HIDE);
    }
}

// Every stand-in among the faces of a pane, the deepest first.
void follow_pane(const Cell* face, bool shown, int32_t depth) {
    if (depth > MAX_DEPTH) return;
    const Cell* pane = faces::facet(face, faces::PANE);
    if (!pane || type_of(pane) != TYPE_BLOCK) return;
    Cell panes = *pane;
    gc::CellRoot keep(&panes);
    for (uint32_t i = 0; i < block::length(&panes); ++i) {
        Cell child = *block::item(&panes, i);
        gc::CellRoot keep_child(&child);
        if (type_of(&child) != TYPE_OBJECT) continue;
        HWND hwnd = to_hwnd(faces::handle_of(&child));
        if (!hwnd || !IsWindow(hwnd)) continue;
        follow_pane(&child, shown && visible_facet(&child), depth + 1);
        if (is_stand_in(hwnd)) follow(hwnd, &child, shown);
    }
}

}  // namespace

void render_layered(HWND hwnd, Cell* face, const POINT* position) {
    RECT rc{};
    if (!GetClientRect(hwnd, &rc) || rc.right < 1 || rc.bottom < 1) return;
    const Cell* draw_facet = faces::facet(face, faces::DRAW);
    Cell commands = draw_facet && type_of(draw_facet) == TYPE_BLOCK ? *draw_facet : Cell{TYPE_NONE, 0, 0, 0};
    Cell target = *face;
    gc::CellRoot keep(&commands), keep_face(&target);
    // Without a block the face's own colour, image and text are drawn; a
    // failure of the block is reported and the frame still goes out.
    draw::do_draw(from_hwnd(hwnd), &target, nullptr, &commands, true, true);
    if (!d2d::copy_to_dib(hwnd)) return;
    d2d::WindowTarget* t = d2d::window_target(hwnd);
    if (!t || !t->memory_dc) return;
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    SIZE size{rc.right, rc.bottom};
    POINT source{0, 0};
    POINT at = position ? *position : POINT{};
    POINT* where = position ? &at : nullptr;
    if (UpdateLayeredWindow(hwnd, nullptr, where, &size, t->memory_dc, &source, 0, &blend, ULW_ALPHA)) return;
    // A window given constant attributes (SetLayeredWindowAttributes) takes
    // no image until its layered style is set afresh.
    LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
    SetWindowLongW(hwnd, GWL_EXSTYLE, ex & ~WS_EX_LAYERED);
    SetWindowLongW(hwnd, GWL_EXSTYLE, ex);
    UpdateLayeredWindow(hwnd, nullptr, where, &size, t->memory_dc, &source, 0, &blend, ULW_ALPHA);
}

bool is_layered_window(uint32_t hwnd) { return IsWindow(to_hwnd(hwnd)) && is_layered(to_hwnd(hwnd)); }

void render_layered_face(uint32_t hwnd, Cell* face) {
    if (is_layered_window(hwnd)) render_layered(to_hwnd(hwnd), face, nullptr);
}

WindowPos stand_in_position(const WindowPos& p) {
    HWND hwnd = to_hwnd(p.hwnd);
    if (!is_stand_in(hwnd)) {
        // A panel that moves takes the stand-ins inside it along, once it has moved.
        if (!backend().win8_or_later && (p.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE) &&
            std::find(g_moved.begin(), g_moved.end(), p.hwnd) == g_moved.end())
            g_moved.push_back(p.hwnd);
        return p;
    }
    WindowPos out = p;
    // A popup is not among its parent's children: it keeps its own z-order.
    out.flags |= SWP_NOZORDER;
    out.after = 0;
    const Cell* face = faces::of_window(p.hwnd);
    HWND parent = face ? parent_window(hwnd, face) : nullptr;
    if (!parent) return out;
    POINT screen{p.x, p.y};
    if (p.flags & SWP_NOMOVE) {
        RECT now{};
        GetWindowRect(hwnd, &now);
        screen = POINT{now.left, now.top};
    } else if (!ClientToScreen(parent, &screen)) {
        return out;
    } else {
        out.x = screen.x;
        out.y = screen.y;
        set_slot(hwnd, SLOT_ORIGIN, pack_xy(screen.x, screen.y));
    }
    int32_t w = p.width, h = p.height;
    if (p.flags & SWP_NOSIZE) {
        RECT now{};
        GetWindowRect(hwnd, &now);
        w = now.right - now.left;
        h = now.bottom - now.top;
    }
    clip_stand_in(hwnd, parent, screen, w, h);
    return out;
}

void stand_ins_follow() {
    std::vector<uint32_t> moved;
    moved.swap(g_moved);
    for (uint32_t h : moved) {
        HWND hwnd = to_hwnd(h);
        Cell* face = IsWindow(hwnd) ? faces::of_window(h) : nullptr;
        if (!face) continue;
        Cell f = *face;
        gc::CellRoot keep(&f);
        follow_pane(&f, IsWindowVisible(hwnd) != FALSE, 0);
    }
}

bool relayer_face(uint32_t h, Cell* face_in) {
    HWND hwnd = to_hwnd(h);
    if (!IsWindow(hwnd) || !(faces::type_is(face_in, "base") || faces::type_is(face_in, "rich-text"))) return false;
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    HWND parent = parent_window(hwnd, &face);
    if (parent && is_layered(parent)) return false;   // inside a layered window every face is layered
    bool need = controls::must_be_layered(faces::facet(&face, faces::TYPE), faces::facet(&face, faces::COLOR), 0);
    if (need == is_layered(hwnd)) return false;
    // The window goes without its face: the face is shown again at once.
    HWND above = GetWindow(hwnd, GW_HWNDPREV);
    if (int32_t index = int32_t(slot(hwnd, SLOT_FACE))) {
        set_slot(hwnd, SLOT_FACE, 0);
        faces::free(index);
    }
    draw::release_window(h);
    DestroyWindow(hwnd);
    uint32_t made = make_view(&face, from_hwnd(parent));
    Cell* state = faces::facet(&face, faces::STATE);
    if (state && type_of(state) == TYPE_BLOCK && block::length(state) > 0)
        *block::item(state, 0) = handle::make(made, handle::CLASS_WINDOW);
    HWND fresh = to_hwnd(made);
    if (fresh && !is_stand_in(fresh) && (!above || IsWindow(above)))
        SetWindowPos(fresh, above ? above : HWND_TOP, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOOWNERZORDER |
                         SWP_NOSENDCHANGING);
    return true;
}

void layered_redraw(HWND hwnd, Cell* face) {
    // A resize comes in bursts while dragging: one frame's wait lets the
    // size settle before the image is made again.
    Sleep(16);
    if (IsWindow(hwnd)) render_layered(hwnd, face, nullptr);
}

void layered_follow(HWND window, Cell* face) {
    bool shown = IsWindowVisible(window) && !IsIconic(window);
    Cell root = *face;
    gc::CellRoot keep(&root);
    follow_pane(&root, shown, 0);
}

void layered_setup(HWND hwnd, Cell* face) {
    if (!is_layered(hwnd)) return;
    Cell f = *face;
    gc::CellRoot keep(&f);
    if (is_stand_in(hwnd)) {
        HWND parent = parent_window(hwnd, &f);
        bool shown = parent && IsWindowVisible(parent);
        follow(hwnd, &f, false);   // placed and clipped, hidden until drawn
        render_layered(hwnd, &f, nullptr);
        if (shown && visible_facet(&f)) ShowWindow(hwnd, SW_SHOWNA);
        return;
    }
    render_layered(hwnd, &f, nullptr);
}

}  // namespace qor::gui::win32
