// The Windows side of menus, native controls, rich text, the file and folder
// dialogs and the camera.  The window-system entries among these fit the
// table of gui/window_system.hpp as they are; the others are called by the
// window creation, facet change and window procedure code.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "gui/dialogs.hpp"
#include "gui/menus.hpp"
#include "gui/rich_text.hpp"
#include "runtime/cell.hpp"

namespace qor::gui::win32 {

// ---- Menus (menus_win32.cpp)
// Fills the menu (an HMENU) from the entries; answers it.
uint32_t build_menu(const std::vector<MenuItem>& items, uint32_t hmenu);
// A window's menu bar from its face's `menu` facet, 0 when it has none.
uint32_t make_menu_bar(Cell* face);
// WindowSystem entries: popup_menu, menu_item_data, destroy_menu.
uint32_t popup_menu(uint32_t owner, const std::vector<MenuItem>& items, int32_t x, int32_t y);
int32_t  menu_item_data(uint32_t hmenu, int32_t position);
void     destroy_menu(uint32_t hmenu);

// ---- Dialogs (dialogs_win32.cpp): WindowSystem entries file_dialog, folder_dialog.
bool file_dialog(const FileDialog& request, std::vector<std::string>* paths);
bool folder_dialog(const FolderDialog& request, std::string* path);

// ---- Native controls (controls_win32.cpp)
// `data` of a face pushed into its control (at creation and on change).
void push_data(uint32_t hwnd, Cell* face);
// `selected` of a face pushed into its control.
void push_selected(uint32_t hwnd, Cell* face);
// An in-place edit of a list's data block (the face's on-deep-change).
void push_list_change(uint32_t hwnd, Cell* face, const Cell* action, int32_t index, int32_t part,
                      bool same_series_move);
// The control's state read back into the face (check and radio data,
// slider, scroller, calendar); answers false for types without one.
bool read_back(uint32_t hwnd, Cell* face);
// The edit selection into `selected`.
void sync_selection(uint32_t hwnd, Cell* face);
// Text read back (-1: the whole control text, else a combo item).
void get_text(uint32_t hwnd, Cell* face, int32_t index);
// Edit options: the cue banner and the tab stops.
void set_hint(uint32_t hwnd, const Cell* options);
void set_tabs(uint32_t hwnd, const Cell* options);
// An area's scroll bars from its text (null: the face's own).
void area_scroll_bars(uint32_t hwnd, Cell* face, const Cell* text);
// A scroller! object's changed field to its parent's window scroll bar.
void update_scroller(uint32_t hwnd, const Cell* scroller, int32_t field);
// WM_NOTIFY of a tab-panel (TCN_SELCHANGING, TCN_SELCHANGE): the select
// event (TRUE forbids the change when its handler stopped it), the page
// switch, the change event and the new `selected`.
int32_t tab_notify(uint32_t tab, uint32_t code, Cell* face);
// Text size of a native control's face, in logical units (DrawTextW).
bool control_text_size(uint32_t hwnd, Cell* face, const Cell* text, double* w, double* h);

// ---- Base faces (base_win32.cpp)
// The messages of the QorBase window procedure that need no drawing: mouse
// capture counting, cursors, hit tests, menu selection, input-method
// context, erasing and activation.  True when handled, with the result.
bool base_message(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam, int32_t* result);
// The QorBaseInternal window procedure's own messages.
bool base_internal_message(uint32_t hwnd, uint32_t message, uint32_t wparam, int32_t lparam, int32_t* result);

// ---- Rich text (rich_text_dwrite.cpp)
// Applies the style runs to a text layout (an IDWriteTextLayout*); colour
// and backdrop ranges go through the callbacks (the draw backend's brushes).
struct RunSink {
    void (*color)(void* layout, uint32_t start, uint32_t length, uint32_t colorref, uint32_t alpha);
    void (*backdrop)(uint32_t start, uint32_t length, uint32_t colorref, uint32_t alpha);
};
void apply_runs(void* layout, const std::vector<StyleRun>& runs, const RunSink& sink);
// size-text of a base, rich-text, window or panel face from its layout, in
// logical units (the width trimmed by 2%).
bool layout_text_size(void* layout, double scale, double* w, double* h);
// A metrics query on a text layout (types as text-box-metrics).
bool layout_metrics(void* layout, const std::vector<uint32_t>& text, const Cell* arg, int32_t type, Cell* out);

// ---- Text-box layouts (text_box_dwrite.cpp): the WindowSystem entry
// text_box_metrics over the rich-text face's kept DirectWrite layout.
bool text_box_metrics(Cell* face, const Cell* arg, int32_t type, Cell* out);

// ---- Camera (camera_dshow.cpp)
// The names of the video capture devices; the WindowSystem entry camera_devices.
int32_t camera_devices(std::vector<std::string>* names);
// The frame handshake of a camera window's receiver.
struct FrameReceiver;
FrameReceiver* make_receiver(uint32_t hwnd, int32_t width, int32_t height);
void free_receiver(FrameReceiver* r);
// The DirectShow callback's buffer copy (any thread).
void receive_frame(FrameReceiver* r, const uint8_t* buffer, int32_t length);
// Waits up to 3 s for a frame; fills `pixels` (width x height x 4) and
// answers true when one came.
bool snapshot(FrameReceiver* r, std::vector<uint8_t>* pixels, int32_t* width, int32_t* height);
// The frame message (WM_USER + 1): the frame when one is ready.
bool take_ready_frame(FrameReceiver* r, std::vector<uint8_t>* pixels);

}  // namespace qor::gui::win32
