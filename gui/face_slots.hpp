// Faces seen from the backend: the face slot table (every face that has a
// native window, by a 1-based index kept in the window's extra bytes), facet
// access by index, and the conversion of the `flags` facet to bits.
#pragma once
#include <cstdint>

#include "gui/messages.hpp"
#include "runtime/cell.hpp"

namespace qor::gui::faces {

// Facets by 0-based index.
enum Facet : int32_t {
    TYPE = 0, OFFSET, SIZE, TEXT, IMAGE, COLOR, MENU, DATA, ENABLED, VISIBLE, SELECTED, FLAGS,
    OPTIONS, PARENT, PANE, STATE, RATE, EDGE, PARA, FONT, ACTORS, EXTRA, DRAW,
    FACET_COUNT = 25,
};

// The slot table: made with room for 100 faces, doubled when full.
void    init();
int32_t alloc(const Cell* face);       // the 1-based slot now holding a copy of the face
void    free(int32_t index);           // 0 is ignored
Cell*   get(int32_t index);            // null for a free or unknown slot
int32_t capacity();
int32_t used();

// The face of a native window, or null.
Cell*    of_window(uint32_t hwnd);
void     link_window(uint32_t hwnd, const Cell* face);
// A facet's cell, or null when the value is not an object with that facet.
Cell*    facet(const Cell* face, int32_t n);
bool     type_is(const Cell* face, const char* type);
bool     word_is(const Cell* value, const char* spelling);   // aliases resolved
// The window handle of a shown face (the first value of its state block), or 0.
uint32_t handle_of(const Cell* face);

// The window whose face a message concerns, or 0xFFFFFFFF when none.
uint32_t event_window(const Message* msg);

// The bits of a `flags` facet (a word or a block of words); another word
// raises script/invalid-arg.
uint32_t get_flags(const Cell* facet);
enum : uint32_t {
    FACE_ALL_OVER = 0x1, FACE_FOCUSABLE = 0x2, FACE_TRI_STATE = 0x20000, FACE_SCROLLABLE = 0x40000,
    FACE_PASSWORD = 0x80000, FACE_NO_SYNC = 0x100000, FACE_FULLSCREEN = 0x200000,
    FACE_POPUP = 0x1000000, FACE_MODAL = 0x2000000, FACE_RESIZE = 0x4000000,
    FACE_NO_BUTTONS = 0x8000000, FACE_NO_MAX = 0x10000000, FACE_NO_MIN = 0x20000000,
    FACE_NO_TITLE = 0x40000000, FACE_NO_BORDER = 0x80000000,
};

// Logical units and pixels at the current scale.
int32_t to_pixels(double v);
double  to_logical(double v);

}  // namespace qor::gui::faces
