// The backend's window classes: five of its own and the superclassed system
// controls, all with the 80 extra bytes that hold the face slot; and the
// procedures of the four controls that add behaviour before the system's
// own procedure.  Every procedure is a barrier.
#include "gui/backend/win32_backend.hpp"

#include <commctrl.h>

#include <cstring>

#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "runtime/output_hooks.hpp"

namespace qor::gui::win32 {

const wchar_t* const CLASS_WINDOW = L"QorWindow";
const wchar_t* const CLASS_PANEL = L"QorPanel";
const wchar_t* const CLASS_BASE = L"QorBase";
const wchar_t* const CLASS_BASE_INTERNAL = L"QorBaseInternal";
const wchar_t* const CLASS_CAMERA = L"QorCamera";

namespace {

// The system procedures that the subclass procedures hand messages on to.
WNDPROC g_combo_original = nullptr;
WNDPROC g_face_original = nullptr;
WNDPROC g_calendar_original = nullptr;
WNDPROC g_area_original = nullptr;

// Hands a message to a hook of another part of the backend; false when the
// hook is not set or did not take it.
bool hooked(ProcHook hook, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    return hook && hook(hwnd, msg, wparam, lparam, result);
}

LRESULT CALLBACK base_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    bool handled = barrier(0, [&]() -> LRESULT {
        return hooked(hooks().base_message, hwnd, msg, wparam, lparam, &result);
    }) != 0;
    return handled ? result : DefWindowProcW(hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK camera_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    bool handled = barrier(0, [&]() -> LRESULT {
        return hooked(hooks().camera_message, hwnd, msg, wparam, lparam, &result);
    }) != 0;
    return handled ? result : DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Menu commands and menu selections of a combo box's own menu.
LRESULT CALLBACK combo_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    bool handled = barrier(0, [&]() -> LRESULT {
        Backend& b = backend();
        switch (msg) {
        case WM_COMMAND:
            if (lparam == 0 && LOWORD(wparam) <= 999 && b.menu_select_handle) {
                if (hooks().menu_command) hooks().menu_command(hwnd, LOWORD(wparam));
                return 1;
            }
            return 0;
        case WM_MENUSELECT:
            if (wparam != 0xFFFF0000u) {
                b.menu_select_item = LOWORD(wparam);
                b.menu_select_handle = reinterpret_cast<HMENU>(lparam);
            }
            menus::note_selection(uint32_t(wparam), uint32_t(lparam));   // the portable menus make the event
            return 1;
        default:
            return 0;
        }
    }) != 0;
    return handled ? 0 : CallWindowProcW(g_combo_original, hwnd, msg, wparam, lparam);
}

// Text faces: a static control that takes the mouse.
LRESULT CALLBACK face_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    bool handled = barrier(0, [&]() -> LRESULT {
        switch (msg) {
        case WM_LBUTTONDOWN: SetCapture(hwnd); return 1;
        case WM_LBUTTONUP: ReleaseCapture(); return 1;
        case WM_NCHITTEST: result = HTCLIENT; return 1;
        default: return 0;
        }
    }) != 0;
    return handled ? result : CallWindowProcW(g_face_original, hwnd, msg, wparam, lparam);
}

LRESULT CALLBACK calendar_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_LBUTTONDOWN)
        barrier(0, [&]() -> LRESULT {
            SetFocus(hwnd);
            return 0;
        });
    return CallWindowProcW(g_calendar_original, hwnd, msg, wparam, lparam);
}

// The caret of an edit moved: its face learns the selection, and a select
// event (the caret's 0-based position) reaches the language.
void edit_selected(HWND hwnd) {
    Cell* face = faces::of_window(from_hwnd(hwnd));
    if (!face) return;
    if (hooks().edit_selection) hooks().edit_selection(hwnd, face);
    DWORD start = 0, end = 0;
    SendMessageW(hwnd, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    make_event(ensure_msg(from_hwnd(hwnd)), start, EVT_SELECT);
}

// Makes room in the edit's limit for a paste, so that the pasted text goes
// in whole.
void widen_limit_for_paste(HWND hwnd) {
    if (!OpenClipboard(hwnd)) return;
    int length = 0;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            length = lstrlenW(text);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    if (length <= 0) return;
    LRESULT limit = SendMessageW(hwnd, EM_GETLIMITTEXT, 0, 0);
    long long needed = static_cast<long long>(GetWindowTextLengthW(hwnd)) + length;
    if (needed > limit && needed < 0x7FFFFFFE) SendMessageW(hwnd, EM_SETLIMITTEXT, WPARAM(needed), 0);
}

// Fields and areas.
LRESULT CALLBACK area_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    bool handled = barrier(0, [&]() -> LRESULT {
        switch (msg) {
        case WM_KEYUP:
        case WM_LBUTTONUP:
            edit_selected(hwnd);
            return 0;
        case WM_CHAR: {
            bool multi_line = (GetWindowLongW(hwnd, GWL_STYLE) & ES_MULTILINE) != 0;
            if (multi_line && wparam == 1) {   // Ctrl+A
                SendMessageW(hwnd, EM_SETSEL, 0, -1);
                result = 1;
                return 1;
            }
            if (!multi_line && (wparam == 13 || wparam == 9)) {   // no beep for Enter and Tab
                result = 0;
                return 1;
            }
            return 0;
        }
        case WM_PASTE:
            widen_limit_for_paste(hwnd);
            return 0;
        default:
            return 0;
        }
    }) != 0;
    return handled ? result : CallWindowProcW(g_area_original, hwnd, msg, wparam, lparam);
}

bool register_own(HINSTANCE instance, const wchar_t* name, WNDPROC proc, INT_PTR brush) {
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof wc);
    static_assert(sizeof wc == 48);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = EXTRA_BYTES;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(brush);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

// Registers new_name as a copy of base_name with the backend's extra bytes
// (and proc when given); answers the base class's own procedure.
WNDPROC superclass(HINSTANCE instance, const wchar_t* new_name, const wchar_t* base_name, WNDPROC proc,
                   bool system) {
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(system ? nullptr : instance, base_name, &wc)) {
        system_print::TypedRecord line[] = {system_print::string("*** Error in GetClassInfoEx")};
        system_print::print_line(1, line);
        std::memset(&wc, 0, sizeof wc);
        wc.lpfnWndProc = DefWindowProcW;   // a class without a procedure cannot be registered
    }
    WNDPROC original = wc.lpfnWndProc;
    wc.cbSize = sizeof wc;
    wc.cbWndExtra = EXTRA_BYTES;
    wc.hInstance = instance;
    wc.lpszClassName = new_name;
    if (proc) wc.lpfnWndProc = proc;
    RegisterClassExW(&wc);
    return original;
}

}  // namespace

bool register_classes(HINSTANCE instance) {
    bool ok = register_own(instance, CLASS_WINDOW, window_wnd_proc, COLOR_BTNFACE);
    ok = register_own(instance, CLASS_PANEL, window_wnd_proc, COLOR_BTNFACE) && ok;
    ok = register_own(instance, CLASS_BASE, base_wnd_proc, COLOR_BTNFACE) && ok;
    ok = register_own(instance, CLASS_BASE_INTERNAL, base_wnd_proc, COLOR_BTNFACE) && ok;
    ok = register_own(instance, CLASS_CAMERA, camera_wnd_proc, 2) && ok;

    superclass(instance, L"QorButton", L"BUTTON", nullptr, true);
    superclass(instance, L"QorListBox", L"ListBox", nullptr, true);
    superclass(instance, L"QorProgress", PROGRESS_CLASSW, nullptr, true);
    superclass(instance, L"QorSlider", TRACKBAR_CLASSW, nullptr, true);
    superclass(instance, L"QorScroller", L"SCROLLBAR", nullptr, true);
    superclass(instance, L"QorTabpanel", WC_TABCONTROLW, nullptr, true);
    g_combo_original = superclass(instance, L"QorCombo", L"ComboBox", combo_wnd_proc, true);
    g_face_original = superclass(instance, L"QorFace", L"STATIC", face_wnd_proc, true);
    g_calendar_original = superclass(instance, L"QorCalendar", MONTHCAL_CLASSW, calendar_wnd_proc, true);
    g_area_original = superclass(instance, L"QorArea", L"EDIT", area_wnd_proc, true);
    superclass(instance, L"QorField", L"QorArea", nullptr, false);
    return ok;
}

void unregister_classes(HINSTANCE instance) {
    static const wchar_t* const NAMES[] = {
        L"QorWindow", L"QorBase", L"QorBaseInternal", L"QorCamera", L"QorButton", L"QorField",
        L"QorCombo", L"QorListBox", L"QorProgress", L"QorSlider", L"QorTabpanel", L"QorPanel",
        L"QorFace", L"QorArea", L"QorCalendar",
    };
    for (const wchar_t* name : NAMES) UnregisterClassW(name, instance);
}

}  // namespace qor::gui::win32
