// The window system under the GUI: one table of entries that a backend
// fills (gui/backend/ on Windows, gui/headless.* anywhere).  Everything
// above it (the event loop, the event builder, event! fields, the platform
// routines) is portable code over these entries; window handles are 32-bit
// words, 0 for none.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/messages.hpp"
#include "runtime/cell.hpp"

namespace qor::gui {

struct MenuItem;
struct FileDialog;
struct FolderDialog;

struct Screen {
    int32_t  x, y;             // position in pixels
    int32_t  width, height;    // size in pixels
    double   scale;            // the monitor's DPI / 96
    int32_t  id;               // the monitor's identifier
};

// One window position: SetWindowPos's arguments.  `after` is the window
// to go behind in the z-order, 0 for the top.
struct WindowPos {
    uint32_t hwnd;
    int32_t  x, y, width, height;
    uint32_t flags;   // SWP_ flags
    uint32_t after;
};
enum : uint32_t {
    SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOACTIVATE = 0x10,
    SWP_SHOWWINDOW = 0x40, SWP_HIDEWINDOW = 0x80,
};

// What a platform font is made from (CreateFontW's arguments).
struct FontSpec {
    uint16_t name[32];   // UTF-16, NUL-ended; empty: the backend's default face
    int32_t  height;     // negative: the character height in pixels
    int32_t  orientation;
    int32_t  weight;     // 0 or 700
    bool     italic, underline, strike;
    int32_t  quality;    // 0 default, 4 antialiased, 5 ClearType
};

struct WindowSystem {
    const char* name;

    // ---- The message queue
    // >0: a message was taken; 0: the quit message (or, without wait, an
    // empty queue); -1: failure.
    int  (*get_message)(Message* msg, bool wait);
    void (*translate)(Message* msg);
    void (*dispatch)(Message* msg);
    void (*post_quit)();
    void (*post_message)(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam);

    // ---- Input state
    bool     (*key_held)(int32_t vk);              // the high bit of GetKeyState
    uint32_t (*vk_to_char)(uint32_t vk);           // MapVirtualKey VK_TO_CHAR
    uint32_t (*scan_to_vk)(uint32_t scan);         // MapVirtualKey VSC_TO_VK_EX
    uint32_t (*vk_of_char)(uint32_t ch);           // the low byte of VkKeyScan
    bool     (*window_enabled)(uint32_t hwnd);
    void     (*track_leave)(uint32_t hwnd);
    uint32_t (*capture)();
    void     (*release_capture)();
    void     (*message_pos)(int32_t* x, int32_t* y);   // the pointer of the last message
    int32_t  (*list_item_at)(uint32_t hwnd, int32_t x, int32_t y);   // 0-based, -1 none

    // ---- Windows
    int32_t  (*face_slot)(uint32_t hwnd);                  // 0 without a face
    void     (*set_face_slot)(uint32_t hwnd, int32_t slot);
    int32_t  (*window_word)(uint32_t hwnd, int32_t offset);     // extra slot by offset from the face slot
    void     (*set_window_word)(uint32_t hwnd, int32_t offset, int32_t value);
    uint32_t (*parent_of)(uint32_t hwnd);
    uint32_t (*root_owner)(uint32_t hwnd);
    uint32_t (*own_window_at)(int32_t x, int32_t y);       // a window of this process there, or 0
    void     (*screen_to_client)(uint32_t hwnd, int32_t* x, int32_t* y);
    void     (*client_to_screen)(uint32_t hwnd, int32_t* x, int32_t* y);
    double   (*scale)();                                   // pixels per logical unit

    // ---- Behind the platform routines
    void     (*start)();                                   // the backend's start-up
    int32_t  (*screens)(Screen* out, int32_t room);        // the monitors, first the primary
    int32_t  (*current_screen)();                          // the monitor under the pointer
    uint32_t (*make_view)(Cell* face, uint32_t parent);    // 0 on failure
    void     (*hide_window)(uint32_t hwnd);
    void     (*destroy_window)(uint32_t hwnd);
    void     (*show_window)(uint32_t hwnd);
    void     (*refresh_window)(uint32_t hwnd);
    void     (*redraw)(uint32_t hwnd);
    void     (*update_view)(Cell* face);
    void     (*set_timer)(uint32_t hwnd, uint32_t ms);     // 0 stops it
    bool     (*text_size)(Cell* face, const Cell* text, double* w, double* h);
    bool     (*support_dark_mode)();
    void     (*set_dark_mode)(uint32_t hwnd, bool dark, bool window);
    void     (*version)(int32_t* major, int32_t* minor, int32_t* build, int32_t* product);
    void     (*shutdown)();
    // The scroll-bar size in pixels and the text, window and panel colours
    // (0x00BBGGRR) that start-up hands system/view/metrics.
    void     (*system_metrics)(int32_t* scroller_w, int32_t* scroller_h, uint32_t* text, uint32_t* window,
                               uint32_t* panel);

    // ---- Facets of shown faces (a null entry: not supported)
    void     (*set_window_pos)(const WindowPos* pos);
    uint32_t (*begin_positions)(int32_t count);                      // 0: no batch
    uint32_t (*defer_position)(uint32_t batch, const WindowPos* pos);   // 0: the batch failed
    void     (*end_positions)(uint32_t batch);
    void     (*set_visible)(uint32_t hwnd, bool visible);
    void     (*enable)(uint32_t hwnd, bool enabled);
    void     (*set_text)(uint32_t hwnd, Cell* face);
    // The per-type work of one facet (data, selected, flags, draw, color,
    // para, menu, image, options), read from the face.
    void     (*apply_facet)(uint32_t hwnd, Cell* face, int32_t facet);
    void     (*set_parent)(uint32_t hwnd, uint32_t parent);
    void     (*set_style_bits)(uint32_t hwnd, uint32_t keep_mask, uint32_t bits);
    void     (*focus)(uint32_t hwnd);

    // ---- Fonts
    uint32_t (*make_font)(const FontSpec* spec);                   // 0 on failure
    void     (*free_font)(uint32_t font);
    void     (*set_font)(uint32_t hwnd, uint32_t font);             // 0: the default GUI font
    // The font dialog, starting from the spec; false when cancelled.  On
    // success the spec holds the choice and points its size in points.
    bool     (*request_font)(FontSpec* spec, bool mono, int32_t* points);

    // ---- Capture: the window (0: the whole screen) into 0xAARRGGBB pixels;
    // with pixels null only the size is answered.
    bool     (*capture_window)(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels);

    // ---- Menus, dialogs, rich text, camera (null: not supported)
    uint32_t (*popup_menu)(uint32_t owner, const std::vector<MenuItem>& items, int32_t x, int32_t y);
    int32_t  (*menu_item_data)(uint32_t hmenu, int32_t position);   // -1 without a word
    void     (*destroy_menu)(uint32_t hmenu);
    // False when the user cancelled; else the chosen local paths.
    bool     (*file_dialog)(const FileDialog& request, std::vector<std::string>* paths);
    bool     (*folder_dialog)(const FolderDialog& request, std::string* path);
    // A rich-text face's metrics query (type and argument as text-box-metrics).
    bool     (*text_box_metrics)(Cell* face, const Cell* arg, int32_t type, Cell* out);
    int32_t  (*camera_devices)(std::vector<std::string>* names);   // the capture devices
    // A control's text into its face's `text` facet (select and change
    // events): index -1 reads the whole text, another a combo box item.
    void     (*read_text)(uint32_t hwnd, Cell* face, int32_t index);
};

// The backend in use: the Windows one in the product unless the environment
// asks for the stand-in (QOR_GUI_BACKEND=headless); the stand-in natively.
WindowSystem& ws();
void select_window_system(WindowSystem* system);

// The Windows backend's table (gui/backend/), null in the native build.
WindowSystem* native_window_system();

}  // namespace qor::gui
