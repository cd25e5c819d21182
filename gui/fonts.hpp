// font! and para! seen from the backend: platform fonts made from font
// objects and cached in their `state` ([font none 96-DPI font], handle! of
// the font class), freed when the font changes or its last face goes, and
// the style bits that a para asks of each face type.
#pragma once
#include <cstdint>

#include "gui/window_system.hpp"
#include "runtime/cell.hpp"

namespace qor::gui::fonts {

// Field numbers of font! and para!.
enum FontField : int32_t {
    NAME = 0, SIZE, STYLE, ANGLE, COLOR, ANTI_ALIAS, SHADOW, STATE, PARENT,
};
enum ParaField : int32_t {
    ORIGIN = 0, PADDING, SCROLL, ALIGN, V_ALIGN, WRAP, PARA_PARENT,
};

// What a font object asks for at a DPI (a size that is not a positive
// integer takes system/view/fonts/size, 9 without one).
FontSpec spec_of(const Cell* font, int32_t dpi);

// The platform font of a face: its font object's, made on first use; 0 when
// the face has no font object or it cannot be made (the default GUI font).
uint32_t face_font(const Cell* face);
// Frees a font object's platform fonts; its state becomes none.
void free_font(Cell* font);
// A font field changed: name, size, style, angle and anti-alias? remake the
// fonts that exist; -1: no face uses the font any more, which frees them.
void update_font(Cell* font, int32_t field);

// A face's window goes: it leaves the user lists of its font and para, and
// a font left without users is freed.
void unlink_face(const Cell* face);

// The style bits of a para for a face type (0 without a para object).
uint32_t para_bits(const Cell* face);
// The bits kept of a window's style when the para bits change (0: the
// type takes no para bits).
uint32_t para_keep_mask(const Cell* face);
// The face's para changed: its window's style takes the new bits (an area
// is made again) and its para bit is marked.
void update_para(Cell* face, int32_t field);

}  // namespace qor::gui::fonts
