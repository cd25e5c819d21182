// Base faces on Windows: the parts of the QorBase and QorBaseInternal window
// procedures that need no drawing.  Per-window slots are read through the
// window system's extra words (offsets from the face slot).
#include "gui/backend/controls_win32.hpp"
#include "gui/face_slots.hpp"
#include "gui/window_system.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <imm.h>

namespace qor::gui::win32 {

namespace {

constexpr int32_t SLOT_VIEW_FLAGS = -12, SLOT_CURSOR = -28, SLOT_CAPTURES = -32;
constexpr uint32_t VIEW_IME = 0x8;
constexpr uint32_t CURSOR_IN_CLIENT = 0x80000000u;

HIMC g_input_context = nullptr;   // of the focused base face
bool g_composing = false;

HWND as_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }

bool layered(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

}  // namespace

bool base_message(uint32_t h, uint32_t message, uint32_t wparam, int32_t lparam, int32_t* result) {
    WindowSystem& w = ws();
    HWND hwnd = as_hwnd(h);
    switch (message) {
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_SETCURSOR: {
        uint32_t cursor = uint32_t(w.window_word(wparam, SLOT_CURSOR));
        if (!(cursor & CURSOR_IN_CLIENT)) return false;
        SetCursor(reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(cursor & ~CURSOR_IN_CLIENT)));
        *result = 1;
        return true;
    }
    case WM_MOUSEACTIVATE:
        if (!layered(hwnd)) return false;
        SetForegroundWindow(GetParent(hwnd));
        *result = MA_NOACTIVATE;
        return true;
    case WM_NCHITTEST: {
        LRESULT hit = DefWindowProcW(hwnd, message, wparam, lparam);
        if (uint32_t cursor = uint32_t(w.window_word(h, SLOT_CURSOR))) {
            cursor = hit == HTCLIENT ? cursor | CURSOR_IN_CLIENT : cursor & ~CURSOR_IN_CLIENT;
            w.set_window_word(h, SLOT_CURSOR, int32_t(cursor));
        }
        *result = int32_t(hit);
        return true;
    }
    case WM_MENUSELECT:
        menus::note_selection(wparam, uint32_t(lparam));
        return false;
    case WM_LBUTTONDOWN: {
        int32_t count = w.window_word(h, SLOT_CAPTURES);
        w.set_window_word(h, SLOT_CAPTURES, count + 1);
        if (count != 0) return false;
        SetCapture(hwnd);
        *result = 0;
        return true;
    }
    case WM_LBUTTONUP: {
        int32_t count = w.window_word(h, SLOT_CAPTURES);
        if (count < 1) return false;
        w.set_window_word(h, SLOT_CAPTURES, count - 1);
        ReleaseCapture();
        *result = 0;
        return true;
    }
    default:
        break;
    }
    if (!(uint32_t(w.window_word(h, SLOT_VIEW_FLAGS)) & VIEW_IME)) return false;
    switch (message) {
    case WM_IME_SETCONTEXT:
        if (wparam) {
            if (!g_input_context) g_input_context = ImmGetContext(hwnd);
        } else if (g_input_context) {
            ImmReleaseContext(hwnd, g_input_context);
            g_input_context = nullptr;
        }
        return false;
    case WM_IME_STARTCOMPOSITION:
        g_composing = true;
        return false;
    case WM_IME_ENDCOMPOSITION:
        g_composing = false;
        return false;
    default:
        return false;
    }
}

bool base_internal_message(uint32_t h, uint32_t message, uint32_t wparam, int32_t, int32_t* result) {
    HWND hwnd = as_hwnd(h);
    switch (message) {
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(static_cast<uintptr_t>(wparam)), &r, GetSysColorBrush(COLOR_BTNFACE));
        *result = 1;
        return true;
    }
    case WM_MOUSEACTIVATE:
        *result = MA_NOACTIVATE;
        return true;
    case WM_NCHITTEST:
        *result = HTTRANSPARENT;
        return true;
    default:
        return false;
    }
}

}  // namespace qor::gui::win32
