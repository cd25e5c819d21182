// Native windows of faces: their creation (class, styles, DPI, the face
// linked through its slot) and the window services behind the platform
// routines (show, hide, destroy, refresh, redraw, timers, text size).
#include "gui/backend/win32_backend.hpp"

#include <commctrl.h>

#include <cstring>

#include "datatypes/block.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/tuple.hpp"
#include "gui/face_slots.hpp"
#include "runtime/collector.hpp"
#include "runtime/output_hooks.hpp"

namespace qor::gui::win32 {

namespace {

constexpr LONG VIEW_PAIR_SIZE = 0x10;
constexpr LONG VIEW_RICH_TEXT = 0xC;

// The class and the styles a face type adds (the window's own are made apart).
struct TypeEntry {
    const char*    type;
    const wchar_t* window_class;
    DWORD          style;
};
const TypeEntry TYPES[] = {
    {"button", L"QorButton", BS_MULTILINE},
    {"toggle", L"QorButton", BS_PUSHLIKE | BS_AUTOCHECKBOX},
    {"check", L"QorButton", WS_TABSTOP},            // plus the check box kind
    {"radio", L"QorButton", WS_TABSTOP | BS_RADIOBUTTON},
    {"panel", L"QorPanel", WS_CLIPCHILDREN},
    {"group-box", L"QorPanel", 0},
    {"tab-panel", L"QorTabpanel", 0},
    {"field", L"QorField", WS_TABSTOP | ES_AUTOHSCROLL},
    {"area", L"QorArea", 0x210044},
    {"text", L"QorFace", 0},
    {"text-list", L"QorListBox", 0x300101},
    {"drop-down", L"QorCombo", 0x242},
    {"drop-list", L"QorCombo", 0x203},
    {"progress", L"QorProgress", 0},
    {"slider", L"QorSlider", 0},
    {"scroller", L"QorScroller", 0},
    {"base", L"QorBase", WS_CLIPCHILDREN},
    {"rich-text", L"QorBase", WS_CLIPCHILDREN},
    {"camera", L"QorCamera", 0},
    {"calendar", L"QorCalendar", 0x190},
};

const TypeEntry* type_entry(const Cell* face) {
    for (const TypeEntry& e : TYPES)
        if (faces::type_is(face, e.type)) return &e;
    return nullptr;
}

bool is_object(const Cell* c) { return c && type_of(c) == TYPE_OBJECT; }
bool is_false(const Cell* c) { return c && type_of(c) == TYPE_LOGIC && c->data1 == 0; }
bool is_true(const Cell* c) { return c && type_of(c) == TYPE_LOGIC && c->data1 != 0; }

// A colour is opaque when it is a tuple of three bytes, or of four whose
// fourth (transparency) byte is 0; anything else, none included, is not.
bool opaque(const Cell* color) {
    if (!color || type_of(color) != TYPE_TUPLE) return false;
    uint32_t n = tuple::count(color);
    if (n == 3) return true;
    if (n != 4) return false;
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(color, bytes);
    return bytes[3] == 0;
}

// A 4-byte colour whose transparency byte is not 0.
bool transparent_color(const Cell* color) {
    if (!color || type_of(color) != TYPE_TUPLE || tuple::count(color) != 4) return false;
    uint8_t bytes[tuple::MAX_COUNT];
    tuple::get_bytes(color, bytes);
    return bytes[3] != 0;
}

// The current DPI switched to the parent's around a creation, restored on
// every way out.
struct DpiScope {
    int32_t saved;
    explicit DpiScope(HWND parent) : saved(push_dpi(parent)) {}
    ~DpiScope() { pop_dpi(saved); }
};

void view_error() {
    system_print::TypedRecord line[] = {system_print::string("*** View Error: CreateWindowEx failed!")};
    system_print::print_line(1, line);
}

// The frame size of a window of that client size.
SIZE outer_size(int32_t width, int32_t height, DWORD style, DWORD ex_style, bool menu) {
    RECT r{0, 0, width, height};
    if (!AdjustWindowRectEx(&r, style, menu ? TRUE : FALSE, ex_style)) return SIZE{width, height};
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

LONG slot(HWND hwnd, int offset) {
    int at = SLOT_BASE + offset;
    if (at < 0 || at > EXTRA_BYTES - 4 || (at & 3) || !is_own_window(hwnd)) return 0;
    return GetWindowLongW(hwnd, at);
}

void set_slot(HWND hwnd, int offset, LONG value) {
    int at = SLOT_BASE + offset;
    if (at < 0 || at > EXTRA_BYTES - 4 || (at & 3) || !is_own_window(hwnd)) return;
    SetWindowLongW(hwnd, at, value);
}

bool is_own_window(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return false;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
    return instance == GetModuleHandleW(nullptr) && GetClassLongW(hwnd, GCL_CBWNDEXTRA) == EXTRA_BYTES;
}

std::wstring wide_text(const Cell* value) {
    if (!value || type_of(value) != TYPE_STRING) return std::wstring();
    std::string utf8 = string::to_utf8(value);
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

uint32_t make_view(Cell* face_in, uint32_t parent_handle) {
    Cell face = *face_in;
    gc::CellRoot keep(&face);
    Backend& b = backend();
    if (!b.started) start();   // a face shown before the platform's init: the classes are needed
    HWND parent = to_hwnd(parent_handle);
    bool window = faces::type_is(&face, "window");
    const TypeEntry* entry = window ? nullptr : type_entry(&face);
    if (!window && !entry) {
        Cell* t = faces::facet(&face, faces::TYPE);
        raise_error("script", "face-type", t ? t : &face);
    }
    uint32_t flags = faces::get_flags(faces::facet(&face, faces::FLAGS));
    DpiScope dpi_scope(parent);

    // Geometry: a pair! size keeps integer geometry; a pair! offset becomes a point2D!.
    double x = 0, y = 0, width = 0, height = 0;
    LONG view_flags = 0;
    if (Cell* size = faces::facet(&face, faces::SIZE)) {
        if (type_of(size) == TYPE_PAIR) {
            width = pair::x_of(size);
            height = pair::y_of(size);
            view_flags |= VIEW_PAIR_SIZE;
        } else if (type_of(size) == TYPE_POINT2D) {
            width = point::coordinate(size, 0);
            height = point::coordinate(size, 1);
        }
    }
    if (Cell* offset = faces::facet(&face, faces::OFFSET)) {
        if (type_of(offset) == TYPE_PAIR) *offset = point::make2d(pair::x_of(offset), pair::y_of(offset));
        if (type_of(offset) == TYPE_POINT2D) {
            x = point::coordinate(offset, 0);
            y = point::coordinate(offset, 1);
        }
    }

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    bool layered = false;
    bool has_para = is_object(faces::facet(&face, faces::PARA));
    if (is_true(faces::facet(&face, faces::VISIBLE)) && !window) style |= WS_VISIBLE;
    if (is_false(faces::facet(&face, faces::ENABLED))) style |= WS_DISABLED;
    if (flags & faces::FACE_SCROLLABLE) style |= WS_HSCROLL | WS_VSCROLL;

    const wchar_t* window_class = CLASS_WINDOW;
    HMENU menu = nullptr;
    HWND owner = parent;
    if (window) {
        style = WS_CLIPCHILDREN | WS_CAPTION;
        if (!(flags & faces::FACE_NO_MIN)) style |= WS_MINIMIZEBOX;
        if (!(flags & faces::FACE_NO_MAX)) style |= WS_MAXIMIZEBOX;
        if (!(flags & faces::FACE_NO_BUTTONS)) style |= WS_SYSMENU;
        if (flags & faces::FACE_POPUP) ex_style |= WS_EX_TOOLWINDOW;
        if (flags & faces::FACE_RESIZE) style |= WS_THICKFRAME;
        else style &= ~DWORD(WS_MAXIMIZEBOX);
        if (hooks().menu_bar) {
            menu = hooks().menu_bar(&face);
            if (menu) style |= WS_SYSMENU;
        }
        if (flags & faces::FACE_NO_TITLE) style = WS_POPUP | WS_BORDER;
        if (flags & faces::FACE_NO_BORDER) {
            style = WS_POPUP;
            if (transparent_color(faces::facet(&face, faces::COLOR))) {
                ex_style |= WS_EX_LAYERED;
                layered = true;
            }
        }
        if (width < 0) width = 200;
        if (height < 0) height = 200;
        rect_dpi(x, y, width, height);
        if (flags & faces::FACE_MODAL) owner = GetActiveWindow();
    } else {
        window_class = entry->window_class;
        style |= entry->style;
        std::string type = entry->type;
        bool tall = height > width;
        if (type == "check")
            // A tri-state box steps its cycle in its click notification: an
            // automatic one would step it twice.
            style |= (flags & faces::FACE_TRI_STATE) ? BS_3STATE : BS_AUTOCHECKBOX;
        else if (type == "field") {
            if (flags & faces::FACE_PASSWORD) style |= ES_PASSWORD;
            if (!has_para) style |= ES_NOHIDESEL;
        } else if (type == "area" && !has_para)
            style |= 0x100180;   // both scroll directions, selection kept
        else if (type == "progress" && tall)
            style |= PBS_VERTICAL;
        else if (type == "slider" && tall)
            style |= TBS_VERT | TBS_DOWNISLEFT;
        else if (type == "scroller" && tall)
            style |= SBS_VERT;
        if ((type == "field" || type == "area" || type == "text-list") && !(flags & faces::FACE_NO_BORDER))
            ex_style |= WS_EX_CLIENTEDGE;
        if (type == "panel" || type == "group-box" || type == "base" || type == "rich-text") {
            if (parent && (GetWindowLongW(parent, GWL_EXSTYLE) & WS_EX_LAYERED)) {
                ex_style |= WS_EX_LAYERED;
                layered = true;
            } else if ((type == "base" || type == "rich-text") && !opaque(faces::facet(&face, faces::COLOR))) {
                layered = true;
                if (b.win8_or_later) {
                    ex_style |= WS_EX_LAYERED;
                } else {
                    ex_style |= WS_EX_LAYERED | WS_EX_TOOLWINDOW;
                    style = (style & ~DWORD(WS_CHILD)) | WS_POPUP;
                }
            }
        }
        if (type == "rich-text") view_flags |= VIEW_RICH_TEXT;
    }

    bool area = faces::type_is(&face, "area");
    std::wstring title = area ? std::wstring() : wide_text(faces::facet(&face, faces::TEXT));
    if (!layered && b.legacy_drawing) ex_style |= WS_EX_COMPOSITED;

    int32_t px = faces::to_pixels(x), py = faces::to_pixels(y);
    int32_t pw = faces::to_pixels(width), ph = faces::to_pixels(height);
    if (window) {
        SIZE outer = outer_size(pw, ph, style, ex_style, menu != nullptr);
        pw = outer.cx;
        ph = outer.cy;
    }
    HWND hwnd = CreateWindowExW(ex_style, window_class, title.c_str(), style, px, py, pw, ph,
                                window ? owner : parent, menu, b.instance, nullptr);
    if (!hwnd) {
        if (menu) DestroyMenu(menu);
        view_error();
        return 0;
    }

    if (window) {
        int32_t dpi = monitor_dpi(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
        if (dpi != b.dpi_x) {
            set_dpi(dpi);
            SIZE outer = outer_size(faces::to_pixels(width), faces::to_pixels(height), style, ex_style, menu != nullptr);
            SetWindowPos(hwnd, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        }
    }

    set_slot(hwnd, SLOT_VIEW_FLAGS, view_flags);
    if (b.win8_or_later || !layered) BringWindowToTop(hwnd);
    if (b.default_font) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(b.default_font), FALSE);
    uint32_t h = from_hwnd(hwnd);
    faces::link_window(h, &face);

    if (window) {
        set_slot(hwnd, SLOT_NOT_SHOWN, 1);
        POINT origin{0, 0};
        if (ClientToScreen(hwnd, &origin)) set_slot(hwnd, SLOT_ORIGIN, pack_xy(origin.x, origin.y));
    } else if (faces::type_is(&face, "group-box")) {
        HWND frame = CreateWindowExW(0, L"BUTTON", title.c_str(), style | WS_GROUP | BS_GROUPBOX,
                                     0, 0, faces::to_pixels(width), faces::to_pixels(height), hwnd, nullptr,
                                     b.instance, nullptr);
        if (frame) {
            SendMessageW(frame, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
            set_slot(hwnd, SLOT_AUX, static_cast<LONG>(reinterpret_cast<intptr_t>(frame)));
        }
    }
    if (hooks().after_create) hooks().after_create(hwnd, &face);
    else if (layered) SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);   // visible until painted
    set_slot(hwnd, SLOT_FLAGS, LONG(flags));
    if (layered) layered_setup(hwnd, &face);
    if (faces::type_is(&face, "camera")) camera_create(hwnd, &face);   // may raise cannot-open
    return h;
}

void hide_window(uint32_t h) {
    HWND hwnd = to_hwnd(h);
    if (!IsWindow(hwnd)) return;
    SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_HIDEWINDOW);
}

void destroy_window(uint32_t h) {
    HWND hwnd = to_hwnd(h);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
}

void show_window(uint32_t h) {
    HWND hwnd = to_hwnd(h);
    if (!IsWindow(hwnd)) return;
    bool marked = slot(hwnd, SLOT_NOT_SHOWN) != 0;
    if (IsWindowVisible(hwnd) && !marked) {
        UpdateWindow(hwnd);
        return;
    }
    if (HWND captured = GetCapture(); captured && is_own_window(captured)) ReleaseCapture();
    set_slot(hwnd, SLOT_NOT_SHOWN, 0);
    ShowWindow(hwnd, SW_SHOWDEFAULT);
    UpdateWindow(hwnd);
    SetForegroundWindow(hwnd);
    if (Cell* face = faces::of_window(h)) {
        Cell* selected = faces::facet(face, faces::SELECTED);
        if (is_object(selected)) {
            HWND focus = to_hwnd(faces::handle_of(selected));
            if (focus && IsWindow(focus)) SetFocus(focus);
        }
    }
    set_dpi(window_dpi(hwnd));
}

void refresh_window(uint32_t h) {
    HWND hwnd = to_hwnd(h);
    if (IsWindow(hwnd)) UpdateWindow(hwnd);
}

void redraw(uint32_t h) {
    HWND hwnd = to_hwnd(h);
    if (!IsWindow(hwnd)) return;
    InvalidateRect(hwnd, nullptr, FALSE);
    UpdateWindow(hwnd);
}

// Facet changes are applied by the facet synchronisation of the backend;
// until it is set, a changed face keeps its window as it was made.
void update_view(Cell*) {}

void set_timer(uint32_t h, uint32_t ms) {
    HWND hwnd = to_hwnd(h);
    if (!IsWindow(hwnd)) return;
    if (ms) SetTimer(hwnd, 1, ms, timer_proc);
    else KillTimer(hwnd, 1);
}

// The text's extent in the default font, in logical units.
bool text_size(Cell* face, const Cell* text, double* w, double* h) {
    std::wstring wide = wide_text(text);
    HWND hwnd = to_hwnd(faces::handle_of(face));
    if (hwnd && !IsWindow(hwnd)) hwnd = nullptr;
    HDC dc = GetDC(hwnd);
    if (!dc) return false;
    HGDIOBJ old = backend().default_font ? SelectObject(dc, backend().default_font) : nullptr;
    RECT r{0, 0, 0, 0};
    int ok = wide.empty() ? 1 : DrawTextW(dc, wide.c_str(), int(wide.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS);
    if (wide.empty()) {
        TEXTMETRICW tm;
        if (GetTextMetricsW(dc, &tm)) r.bottom = tm.tmHeight;
    }
    if (old) SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    if (!ok) return false;
    *w = faces::to_logical(r.right - r.left);
    *h = faces::to_logical(r.bottom - r.top);
    return true;
}

}  // namespace qor::gui::win32
