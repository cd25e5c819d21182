// The Windows window system's own state and the functions its files share:
// start-up and DPI (win32_startup.cpp), the window classes and subclass
// procedures (win32_classes.cpp), the window procedure and timers
// (win32_wndproc.cpp), window creation and services (win32_views.cpp) and
// the monitors (win32_screens.cpp).  The entry table is native_win32.cpp.
#pragma once
// The portable GUI headers name the Windows messages and keys themselves:
// they come before windows.h, whose macros of the same names would
// otherwise rewrite their declarations.
#include "datatypes/stack.hpp"
#include "gui/event_loop.hpp"
#include "gui/face_slots.hpp"
#include "gui/facet_sync.hpp"
#include "gui/menus.hpp"
#include "gui/messages.hpp"
#include "gui/window_proc.hpp"
#include "gui/window_system.hpp"
#include "runtime/cell.hpp"
#include "runtime/runtime_record.hpp"

#include <windows.h>

#include <cstdint>
#include <string>

namespace qor::gui::win32 {

// ---- Start-up state (set once by start(), read everywhere)
struct Backend {
    bool      started = false;
    DWORD     process_id = 0;
    HDC       screen_dc = nullptr;
    HINSTANCE instance = nullptr;
    DWORD     major = 0, minor = 0, build = 0;
    BYTE      product = 0;
    bool      win10 = false, win8_or_later = false, legacy_drawing = false, win11 = false;
    bool      composition = false;
    int32_t   dpi_x = 96, dpi_y = 96;
    double    dpi = 96.0;
    double    scale = 1.0;          // dpi / 96
    int32_t   dpi_nesting = 0;
    HFONT     default_font = nullptr;
    bool      default_font_owned = false;
    HMODULE   uxtheme = nullptr;
    FARPROC   dark_mode_query = nullptr;   // uxtheme ordinal 132
    bool      dark_mode = false;
    bool      classes_registered = false;
    // The system metrics start-up hands the language side.
    int32_t   scroller_w = 17, scroller_h = 17;
    COLORREF  color_text = 0, color_window = 0xFFFFFF, color_panel = 0xF0F0F0;
    // The resource types of GDI fonts and COM objects held by values.
    int32_t   font_resource = 0, com_resource = 0;
    // The item and menu of the last WM_MENUSELECT.
    int32_t   menu_select_item = -1;
    HMENU     menu_select_handle = nullptr;
};
Backend& backend();

// Window extra bytes: the face slot sits at byte 60 of 80; the other slots
// are named by their offset from it.
constexpr int EXTRA_BYTES = 80;
constexpr int SLOT_BASE = 60;
enum Slot : int {
    SLOT_FLAGS = 16, SLOT_FACE = 0, SLOT_AUX = -4, SLOT_ORIGIN = -8, SLOT_VIEW_FLAGS = -12,
    SLOT_BORDERS = -16, SLOT_COMPANION = -20, SLOT_SIZE_MOVE = -24, SLOT_CURSOR = -28,
    SLOT_GDI = -32, SLOT_D2D_TARGET = -36, SLOT_DRAW_STATE = -40, SLOT_ICON = -44,
    SLOT_NOT_SHOWN = -48,
};
// Reads and writes of a slot; an offset outside the 80 bytes reads 0 and
// writes nothing, and a window of a foreign class is never touched.
LONG slot(HWND hwnd, int offset);
void set_slot(HWND hwnd, int offset, LONG value);
bool is_own_window(HWND hwnd);

inline HWND to_hwnd(uint32_t h) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(h)); }
inline uint32_t from_hwnd(HWND h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }

// ---- Start-up, DPI, colours, dark mode (win32_startup.cpp)
void start();
void shutdown();
void set_dpi(int32_t dpi);
// The default font made again for the current DPI (windows using the old
// one get the new one); a window given gets its own copy in its GDI slot.
void refresh_fonts(HWND hwnd);
int32_t window_dpi(HWND hwnd);
int32_t push_dpi(HWND hwnd);
void pop_dpi(int32_t dpi);
void activate_dpi(HWND hwnd);
int32_t cursor_monitor_dpi();
int32_t monitor_dpi(HMONITOR monitor);
// The DPI of the monitor that will hold a window of that offset and size
// (logical units), made current.
void rect_dpi(double x, double y, double width, double height);
bool dark_mode_active();
bool support_dark_mode();
void set_dark_mode(HWND hwnd, bool dark, bool window);
void version(int32_t* major, int32_t* minor, int32_t* build, int32_t* product);

// ---- Classes (win32_classes.cpp)
extern const wchar_t* const CLASS_WINDOW;
extern const wchar_t* const CLASS_PANEL;
extern const wchar_t* const CLASS_BASE;
extern const wchar_t* const CLASS_BASE_INTERNAL;
extern const wchar_t* const CLASS_CAMERA;
bool register_classes(HINSTANCE instance);
void unregister_classes(HINSTANCE instance);

// ---- Window procedures (win32_wndproc.cpp)
LRESULT CALLBACK window_wnd_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
void CALLBACK timer_proc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
void window_command(HWND hwnd, uint32_t code);

// The hooks other parts of the backend fill at their start-up (from
// start(), before the first window); each is null until set, and every
// caller checks.  The painter answers whether it drew
// the window (WM_PAINT then needs no default handling).
using PaintHook = bool (*)(HWND hwnd, Cell* face);
using ProcHook = bool (*)(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);
using FaceHook = void (*)(HWND hwnd, Cell* face);
struct Hooks {
    PaintHook paint = nullptr;            // WM_PAINT of a face whose draw facet is a block
    ProcHook  control_message = nullptr;  // WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR..., control scrolls
    ProcHook  base_message = nullptr;     // messages of base faces (QorBase, QorBaseInternal)
    ProcHook  camera_message = nullptr;   // messages of camera faces (QorCamera)
    FaceHook  after_create = nullptr;     // per-type initial values of a new control
    FaceHook  target_resized = nullptr;   // WM_SIZE: the window's Direct2D target follows
    FaceHook  layered_redraw = nullptr;   // WM_SIZE of a layered face: its image is made again
    FaceHook  layered_follow = nullptr;   // the window moved: its layered faces follow (before Windows 8)
    FaceHook  window_destroyed = nullptr; // per-window resources on WM_DESTROY
    FaceHook  edit_selection = nullptr;   // caret and selection of an edit copied to its face
    bool (*menu_command)(HWND hwnd, UINT id) = nullptr;   // a menu item was chosen
    HMENU (*menu_bar)(Cell* face) = nullptr;              // the menu bar of a new window, or null
    bool (*erase_background)(HWND hwnd, HDC dc, Cell* face) = nullptr;   // the colour painter
};
Hooks& hooks();
// Sets the entries of the draw backend and the menus (win32_links.cpp).
void link_hooks();
// Control notifications, control scrolls and control colouring
// (win32_control_messages.cpp): the control_message hook.
bool control_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

// Runs f behind a barrier: no C++ exception and no throw of the runtime
// leaves it (foreign frames of Windows are above).  A failure puts the
// argument stack back, clears the runtime's thrown code and answers
// `fallback`.
template <class F>
LRESULT barrier(LRESULT fallback, F&& f) noexcept {
    stack::Checkpoint cp = stack::checkpoint();
    try {
        return f();
    } catch (...) {
        try {
            stack::restore(cp);
        } catch (...) {
        }
        runtime::record->thrown = 0;
        return fallback;
    }
}

// ---- Layered faces (layered_win32.cpp)
// The face drawn off-screen and handed to the system (at `position` in
// screen pixels, or where it is).
void render_layered(HWND hwnd, Cell* face, const POINT* position);
// The hooks: WM_SIZE of a layered face, and a window's move (before
// Windows 8, its stand-in layered popups follow).
void layered_redraw(HWND hwnd, Cell* face);
void layered_follow(HWND window, Cell* face);
// A new layered face: placed (a stand-in over its parent), drawn once and
// shown.
void layered_setup(HWND hwnd, Cell* face);

// ---- Camera faces (camera_dshow.cpp)
// A new camera window: its `data` receives the device names and, when
// `selected` is an integer, that device is previewed (out of range raises
// access/cannot-open).
void camera_create(HWND hwnd, Cell* face);
// Device 0-based: the graph made again for it and previewed; false when
// that failed (the camera then shows nothing).
bool camera_select(HWND hwnd, int32_t device);
void camera_close(HWND hwnd);
void camera_run(HWND hwnd, bool start);
// A frame of the running camera as an image! (waits up to 3 s), else none.
void camera_snapshot(HWND hwnd, Cell* out);
// The hook of QorCamera: WM_DESTROY, WM_SIZE and the frame message.
bool camera_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result);

// ---- Views (win32_views.cpp)
uint32_t make_view(Cell* face, uint32_t parent);
void hide_window(uint32_t hwnd);
void destroy_window(uint32_t hwnd);
void show_window(uint32_t hwnd);
void refresh_window(uint32_t hwnd);
void redraw(uint32_t hwnd);
void update_view(Cell* face);
void set_timer(uint32_t hwnd, uint32_t ms);
bool text_size(Cell* face, const Cell* text, double* w, double* h);
// Text of a value as UTF-16 (empty for anything but a string!).
std::wstring wide_text(const Cell* value);

// ---- Monitors (win32_screens.cpp)
int32_t screens(Screen* out, int32_t room);
int32_t current_screen();

}  // namespace qor::gui::win32
