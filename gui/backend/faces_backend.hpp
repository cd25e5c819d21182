// The Windows side of faces shown, changed, drawn into images and given
// fonts: the window-system entries the Windows table points at (see
// gui/window_system.hpp for what each does).  Window handles and fonts are
// 32-bit words (HWND, HFONT).
#pragma once
#include <cstdint>

#include "gui/window_system.hpp"
#include "runtime/cell.hpp"

namespace qor::gui::win32 {

// ---- Facets (facets_win32.cpp)
void     set_window_pos(const WindowPos* pos);
uint32_t begin_positions(int32_t count);
uint32_t defer_position(uint32_t batch, const WindowPos* pos);
void     end_positions(uint32_t batch);
void     set_visible(uint32_t hwnd, bool visible);
void     enable(uint32_t hwnd, bool enabled);
void     set_text(uint32_t hwnd, Cell* face);
void     apply_facet(uint32_t hwnd, Cell* face, int32_t facet);
void     set_parent(uint32_t hwnd, uint32_t parent);
void     set_style_bits(uint32_t hwnd, uint32_t keep_mask, uint32_t bits);
void     focus(uint32_t hwnd);

// ---- Capture (window_services_win32.cpp); showing, redrawing and the
// monitors are the window system's own (win32_views.cpp, win32_screens.cpp).
bool     capture_window(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels);

// ---- Layered faces (layered_win32.cpp): a layered window's image made
// again after a facet that shows in it changed (a layered window takes no
// WM_PAINT drawing).
bool     is_layered_window(uint32_t hwnd);
// A position for a face's window as SetWindowPos needs it: a stand-in
// layered popup (before Windows 8) is placed in screen pixels over its
// parent, keeps its own z-order and is clipped to where it lands.
WindowPos stand_in_position(const WindowPos& pos);
// After positions are applied: the stand-ins inside windows that moved follow them.
void     stand_ins_follow();
void     render_layered_face(uint32_t hwnd, Cell* face);
// A base or rich-text face whose colour now needs the other kind of window
// (layered or not) is given a new one in the old one's z-order place;
// false when the window stays.
bool     relayer_face(uint32_t hwnd, Cell* face);

// ---- Camera faces (camera_dshow.cpp)
bool     is_camera(uint32_t hwnd);
// capture_window's work for a camera: a frame of its device (the size
// query waits for it, the pixel copy hands it out); false without one.
bool     camera_frame(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels);
// `selected` changed: none closes the device, n previews device n.
void     camera_selected(uint32_t hwnd, const Cell* face);
// `image` set to none: a snapshot goes into it.
void     camera_image(uint32_t hwnd, Cell* face);

// ---- Fonts (fonts_win32.cpp)
uint32_t make_font(const FontSpec* spec);
void     free_font(uint32_t font);
void     set_font(uint32_t hwnd, uint32_t font);
bool     request_font(FontSpec* spec, bool mono, int32_t* points);

}  // namespace qor::gui::win32
