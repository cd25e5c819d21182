// Painting helpers the window procedures share: a face's background and
// the copy of a window's back buffer to the screen.  Windows only.
#pragma once
#include <cstdint>

namespace qor::gui::paint {

// Fills the window with its face's `color` facet: 1 when it painted, 0
// when it left the background alone (a child window without a colour).
// hdc is an HDC.
int32_t paint_background(uint32_t hwnd, void* hdc);

// Copies the client-sized back buffer (the memory DC in the window's extra
// slot -4, or `source_dc` when that slot is 0) to (x, y) of hdc, with
// per-pixel alpha when `alpha` is set.  A null hdc paints through
// BeginPaint and EndPaint.
void blit_back_buffer(uint32_t hwnd, bool alpha, void* hdc, int32_t x, int32_t y, void* source_dc);

}  // namespace qor::gui::paint
