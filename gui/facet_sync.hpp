// Carrying the changed facets of shown faces to their windows: the change
// mask (the second value of a face's state block, bit n for facet n) is
// applied in a fixed order of handlers over the window system's entries,
// and cleared as it is applied.  A block of faces moves and resizes
// siblings in one deferred positioning pass per parent window.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::gui {

// The bits of offset, size and visible?: what a positioning pass can carry.
constexpr uint32_t GEOMETRY_MASK = 0x206;

// Applies every pending change of one face (none for a face without window).
void update_view(Cell* face);
// The same for each face of a block; every value must be an object, else
// script/invalid-type.
void update_views(Cell* faces_block);
// An in-place change of a face's pane or data series (owner word target
// action new index part).
void update_facet(Cell* const* args);

// The face's change mask, and setting it (a face without state block: 0).
uint32_t change_mask(const Cell* face);
void     set_change_mask(Cell* face, uint32_t mask);

// The geometry of a facet (pair! or point2D!) in pixels; false otherwise.
bool facet_pixels(const Cell* face, int32_t facet, int32_t* x, int32_t* y);

}  // namespace qor::gui
