// Facets of shown faces pushed to their Windows controls.

#include <initializer_list>
#include <string>
#include <utility>

#include "datatypes/block.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/string.hpp"
#include "datatypes/word.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/backend/faces_backend.hpp"
#include "gui/face_slots.hpp"

// After the portable headers: their message names are macros of windows.h.
#include <windows.h>
#include <commctrl.h>

namespace qor::gui::win32 {

namespace {

HWND to_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

// Window words of the face's window (offsets from the face slot).
constexpr int32_t SLOT_AUX = -4;
constexpr int32_t SLOT_CURSOR = -28;
constexpr int32_t SLOT_ICON = -44;

std::wstring wide(const Cell* s) {
    std::string utf8 = string::to_utf8(s);
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

bool is_item(const Cell* c) { return c && is_any_string(type_of(c)) && type_of(c) != TYPE_REF; }

bool is_any(const Cell* face, std::initializer_list<const char*> types) {
    for (const char* t : types)
        if (faces::type_is(face, t)) return true;
    return false;
}

// The larger side of the control in pixels (the range of sliders and bars).
int32_t long_side(HWND w, bool* vertical) {
    RECT r{};
    GetClientRect(w, &r);
    int32_t width = r.right - r.left, height = r.bottom - r.top;
    if (vertical) *vertical = height > width;
    return width > height ? width : height;
}

bool fraction(const Cell* c, double* out) {
    if (!c || (type_of(c) != TYPE_FLOAT && type_of(c) != TYPE_PERCENT)) return false;
    *out = float_::get_value(c);
    return true;
}

void check_state(HWND w, const Cell* face) {
    const Cell* data = faces::facet(face, faces::DATA);
    WPARAM state = BST_CHECKED;
    if (!data || type_of(data) == TYPE_NONE)
        state = (faces::get_flags(faces::facet(face, faces::FLAGS)) & faces::FACE_TRI_STATE) ? BST_INDETERMINATE
                                                                                            : BST_UNCHECKED;
    else if (type_of(data) == TYPE_LOGIC)
        state = data->data1 ? BST_CHECKED : BST_UNCHECKED;
    SendMessageW(w, BM_SETCHECK, state, 0);
}

// Items of a list or combo, with the longest item's length remembered.
void fill_items(HWND w, const Cell* face, bool combo) {
    SendMessageW(w, combo ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
    const Cell* data = faces::facet(face, faces::DATA);
    if (!data || type_of(data) != TYPE_BLOCK) return;
    uint32_t n = block::length(data);
    size_t longest = 0;
    std::wstring widest;
    for (uint32_t i = 0; i < n; ++i) {
        const Cell* item = block::item(data, i);
        if (!is_item(item)) continue;
        std::wstring text = wide(item);
        SendMessageW(w, combo ? CB_ADDSTRING : LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (text.size() > longest) {
            longest = text.size();
            widest = text;
        }
    }
    if (combo || widest.empty()) return;
    ws().set_window_word(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(w)), SLOT_AUX, int32_t(longest));
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(w, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, widest.c_str(), int(widest.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    SendMessageW(w, LB_SETHORIZONTALEXTENT, WPARAM(size.cx + 4), 0);
}

int32_t selected_index(const Cell* face) {
    const Cell* sel = faces::facet(face, faces::SELECTED);
    if (!sel || type_of(sel) != TYPE_INTEGER) return -1;
    int32_t n = integer::get_value(sel);
    return n <= 0 ? -1 : n - 1;
}

void apply_selected(HWND w, const Cell* face) {
    if (faces::type_is(face, "text-list")) {
        SendMessageW(w, LB_SETCURSEL, WPARAM(selected_index(face)), 0);
    } else if (is_any(face, {"drop-down", "drop-list"})) {
        SendMessageW(w, CB_SETCURSEL, WPARAM(selected_index(face)), 0);
    } else if (is_any(face, {"field", "area"})) {
        const Cell* sel = faces::facet(face, faces::SELECTED);
        if (sel && type_of(sel) == TYPE_PAIR) {
            int32_t a = pair::x_of(sel), b = pair::y_of(sel);
            if (a > b) std::swap(a, b);
            SendMessageW(w, EM_SETSEL, WPARAM(a - 1), LPARAM(b));
        } else {
            SendMessageW(w, EM_SETSEL, 0, 0);
        }
    } else if (faces::type_is(face, "tab-panel")) {
        push_selected(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(w)), const_cast<Cell*>(face));
    } else if (faces::type_is(face, "camera")) {
        camera_selected(uint32_t(reinterpret_cast<uintptr_t>(w)), face);
    } else if (faces::type_is(face, "scroller")) {
        const Cell* sel = faces::facet(face, faces::SELECTED);
        double page;
        if (!fraction(sel, &page) || page < 0) return;
        SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
        GetScrollInfo(w, SB_CTL, &si);
        si.fMask = SIF_RANGE | SIF_PAGE;
        si.nPage = UINT((si.nMax - si.nMin) * page + 0.5);
        SetScrollInfo(w, SB_CTL, &si, TRUE);
    }
}

void apply_data(HWND w, const Cell* face) {
    if (is_any(face, {"tab-panel", "calendar"})) {
        // Tabs and dates have their own rules (the controls' module).
        push_data(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(w)), const_cast<Cell*>(face));
    } else if (is_any(face, {"check", "toggle", "radio"})) {
        check_state(w, face);
        const Cell* data = faces::facet(face, faces::DATA);
        if (faces::type_is(face, "radio") && !(data && type_of(data) == TYPE_LOGIC && data->data1))
            SendMessageW(GetParent(w), WM_COMMAND, MAKEWPARAM(0, 3), reinterpret_cast<LPARAM>(w));
    } else if (faces::type_is(face, "text-list")) {
        fill_items(w, face, false);
        apply_selected(w, face);
    } else if (is_any(face, {"drop-down", "drop-list"})) {
        fill_items(w, face, true);
        const Cell* text = faces::facet(face, faces::TEXT);
        if (faces::type_is(face, "drop-down") && text && type_of(text) == TYPE_STRING)
            SetWindowTextW(w, wide(text).c_str());
        else
            apply_selected(w, face);
    } else if (is_any(face, {"progress", "slider"})) {
        double f;
        if (!fraction(faces::facet(face, faces::DATA), &f)) return;
        bool vertical = false;
        int32_t l = long_side(w, &vertical);
        if (faces::type_is(face, "progress")) {
            SendMessageW(w, PBM_SETRANGE, 0, MAKELPARAM(0, l));
            SendMessageW(w, PBM_SETPOS, WPARAM(f * l), 0);
        } else {
            SendMessageW(w, TBM_SETRANGE, TRUE, MAKELPARAM(0, l));
            SendMessageW(w, TBM_SETPOS, TRUE, LPARAM(vertical ? l - f * l : f * l));
        }
    } else if (faces::type_is(face, "scroller")) {
        double f;
        if (!fraction(faces::facet(face, faces::DATA), &f)) return;
        f = f < 0 ? 0 : f > 1 ? 1 : f;
        SCROLLINFO si{sizeof si, SIF_RANGE, 0, 0, 0, 0, 0};
        GetScrollInfo(w, SB_CTL, &si);
        si.fMask = SIF_RANGE | SIF_POS;
        si.nPos = int(si.nMin + f * (si.nMax - si.nMin));
        SetScrollInfo(w, SB_CTL, &si, TRUE);
    }
}

void apply_cursor(HWND w, const Cell* face) {
    uint32_t h = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(w));
    if (HICON icon = reinterpret_cast<HICON>(static_cast<intptr_t>(ws().window_word(h, SLOT_ICON))))
        DestroyIcon(icon);
    ws().set_window_word(h, SLOT_ICON, 0);
    ws().set_window_word(h, SLOT_CURSOR, 0);
    const Cell* options = faces::facet(face, faces::OPTIONS);
    if (!options || type_of(options) != TYPE_BLOCK) return;
    uint32_t n = block::length(options);
    if (n % 2) return;
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        if (!faces::word_is(block::item(options, i), "cursor")) continue;
        const Cell* v = block::item(options, i + 1);
        if (!is_word_kind(type_of(v))) continue;   // image cursors come with the drawing side
        LPCWSTR id = IDC_ARROW;
        if (faces::word_is(v, "I-beam")) id = IDC_IBEAM;
        else if (faces::word_is(v, "hand")) id = IDC_HAND;
        else if (faces::word_is(v, "cross")) id = IDC_CROSS;
        else if (faces::word_is(v, "resize-ns")) id = IDC_SIZENS;
        else if (faces::word_is(v, "resize-ew") || faces::word_is(v, "resize-we")) id = IDC_SIZEWE;
        HCURSOR c = LoadCursorW(nullptr, id);
        ws().set_window_word(h, SLOT_CURSOR, int32_t(reinterpret_cast<intptr_t>(c)));
    }
}

}  // namespace

void set_window_pos(const WindowPos* pos) {
    WindowPos placed = stand_in_position(*pos);
    const WindowPos* p = &placed;
    SetWindowPos(to_hwnd(p->hwnd), p->after ? to_hwnd(p->after) : HWND_TOP, p->x, p->y, p->width, p->height,
                 p->flags);
    stand_ins_follow();
}

uint32_t begin_positions(int32_t count) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(BeginDeferWindowPos(count)));
}

uint32_t defer_position(uint32_t batch, const WindowPos* pos) {
    WindowPos placed = stand_in_position(*pos);
    const WindowPos* p = &placed;
    HDWP d = DeferWindowPos(reinterpret_cast<HDWP>(static_cast<uintptr_t>(batch)), to_hwnd(p->hwnd),
                            p->after ? to_hwnd(p->after) : HWND_TOP, p->x, p->y, p->width, p->height, p->flags);
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(d));
}

void end_positions(uint32_t batch) {
    EndDeferWindowPos(reinterpret_cast<HDWP>(static_cast<uintptr_t>(batch)));
    stand_ins_follow();
}

void set_visible(uint32_t hwnd, bool visible) {
    HWND w = to_hwnd(hwnd);
    ShowWindow(w, visible ? SW_SHOW : SW_HIDE);
    if (HWND frame = to_hwnd(uint32_t(ws().window_word(hwnd, SLOT_AUX))); frame && faces::type_is(faces::of_window(hwnd), "group-box"))
        ShowWindow(frame, visible ? SW_SHOW : SW_HIDE);
}

void enable(uint32_t hwnd, bool enabled) { EnableWindow(to_hwnd(hwnd), enabled); }

void set_text(uint32_t hwnd, Cell* face) {
    HWND w = to_hwnd(hwnd);
    if (is_layered_window(hwnd)) {
        render_layered_face(hwnd, face);
        return;
    }
    if (faces::type_is(face, "base") || faces::type_is(face, "rich-text")) {
        InvalidateRect(w, nullptr, FALSE);
        return;
    }
    const Cell* text = faces::facet(face, faces::TEXT);
    std::wstring s = text && type_of(text) == TYPE_STRING ? wide(text) : std::wstring();
    if (faces::type_is(face, "group-box")) {
        if (HWND frame = to_hwnd(uint32_t(ws().window_word(hwnd, SLOT_AUX)))) w = frame;
    } else if (faces::type_is(face, "area")) {
        // The edit limit grows ahead of a text that would not fit.
        LRESULT limit = SendMessageW(w, EM_GETLIMITTEXT, 0, 0);
        LRESULT now = GetWindowTextLengthW(w);
        if (size_t(limit) < size_t(now) + s.size())
            SendMessageW(w, EM_LIMITTEXT, WPARAM(now + s.size() + 0x8000), 0);
    }
    SetWindowTextW(w, s.c_str());
}

void apply_facet(uint32_t hwnd, Cell* face, int32_t facet) {
    HWND w = to_hwnd(hwnd);
    switch (facet) {
    case faces::DATA:
        apply_data(w, face);
        break;
    case faces::SELECTED:
        apply_selected(w, face);
        break;
    case faces::FLAGS:
        if (faces::type_is(face, "field")) {
            bool password = faces::get_flags(faces::facet(face, faces::FLAGS)) & faces::FACE_PASSWORD;
            SendMessageW(w, EM_SETPASSWORDCHAR, password ? 0x25CF : 0, 0);
            InvalidateRect(w, nullptr, TRUE);
            SetFocus(w);
        }
        break;
    case faces::DRAW:
        if (is_layered_window(hwnd)) render_layered_face(hwnd, face);
        else InvalidateRect(w, nullptr, FALSE);
        break;
    case faces::COLOR:
    case faces::PARA:
    case faces::IMAGE:
        if (facet == faces::IMAGE && faces::type_is(face, "camera")) camera_image(hwnd, face);
        else if (facet == faces::COLOR && relayer_face(hwnd, face)) break;
        else if (is_layered_window(hwnd)) render_layered_face(hwnd, face);
        else InvalidateRect(w, nullptr, !is_any(face, {"base", "rich-text", "window", "panel"}));
        break;
    case faces::MENU: {
        const Cell* menu = faces::facet(face, faces::MENU);
        if (faces::type_is(face, "window") && !(menu && type_of(menu) == TYPE_BLOCK)) {
            HMENU old = GetMenu(w);
            SetMenu(w, nullptr);
            if (old) DestroyMenu(old);
        }
        break;
    }
    case faces::OPTIONS:
        apply_cursor(w, face);
        break;
    default:
        break;
    }
}

void set_parent(uint32_t hwnd, uint32_t parent) { SetParent(to_hwnd(hwnd), parent ? to_hwnd(parent) : nullptr); }

void set_style_bits(uint32_t hwnd, uint32_t keep_mask, uint32_t bits) {
    HWND w = to_hwnd(hwnd);
    LONG style = GetWindowLongW(w, GWL_STYLE);
    SetWindowLongW(w, GWL_STYLE, LONG((uint32_t(style) & keep_mask) | bits));
    InvalidateRect(w, nullptr, TRUE);
}

void focus(uint32_t hwnd) { SetFocus(to_hwnd(hwnd)); }

}  // namespace qor::gui::win32
