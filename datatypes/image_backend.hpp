// The image backend's in-memory side: the pixel store behind image! values.
//
// An image's pixels live in a `Bitmap`, a tracked-heap block of 32-bit pixels
// (A << 24 | R << 16 | G << 8 | B, so B, G, R, A in memory), rows of
// width * 4 bytes without padding.  The block is owned by a record of the
// resource registry (type "image"); the collector marks the record through
// each live image! cell and the sweep frees the block of a dead image once.
//
// The image! cell's word 2 is the node of a small byte series, the handle
// record, holding in order:
//   flags | bitmap address | converted cache (unused: 0) | height << 16 | width
//   | resource record index | GUI-side bitmap (0 until the GUI takes one)
// Copies of a cell share the record and so the pixels.
//
// File formats are decoded and encoded by the services layer, which installs
// its codecs here at start-up (`set_codecs`); without them decoding answers
// no bitmap and encoding nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::image_backend {

// The largest side (the cell keeps each side in 16 bits) and the most
// bytes a bitmap may take; a larger request is refused before allocating.
constexpr uint32_t MAX_SIDE = 0xFFFF;
constexpr uint32_t MAX_BYTES = 1u << 29;

struct Bitmap {
    uint32_t width;
    uint32_t height;
    uint32_t* pixels() { return reinterpret_cast<uint32_t*>(this + 1); }
    uint32_t  count() const { return width * height; }
};

// Handle record flags.
enum : uint32_t {
    FLAG_WRITTEN = 0x02,   // pixels were written since the last conversion
};

// Registers the resource type and the collector's mark hook.  Called when
// image! registers.
void init();

// A new bitmap of w x h pixels, uninitialised; null when a side is 0 or
// above MAX_SIDE or the bytes exceed MAX_BYTES (checked before allocating;
// the tracked heap's exhaustion below that is fatal).  Owned by
// the caller until `adopt`; `discard` frees one that was never adopted.
Bitmap* alloc_bitmap(uint32_t width, uint32_t height);
void    discard(Bitmap* bitmap);

// Wraps a bitmap in a handle record and a new image! cell (index 0).  The
// record owns the bitmap from here on, also when this raises.  May allocate.
Cell adopt(Bitmap* bitmap);

// make: a w x h image filled with the colour (a tuple; 3 bytes opaque, else
// A = 255 - fourth byte), else from RGB triples and transparency bytes
// (white and opaque once each runs out).  A side of 0 gives an image
// without pixels.  A size that cannot be had raises internal/no-memory
// before allocating.  May allocate.
Cell make(int32_t width, int32_t height, const Cell* rgb, const Cell* alpha, const Cell* colour);

// The bitmap of an image! cell, or null when it has none.  The address
// stays valid while the cell is reachable (the block never moves).
Bitmap* bitmap(const Cell* image);
// Marks the image's pixels as written (the converted copy is stale).
void    touch(const Cell* image);

// A new image! over a copy of the w x h rectangle at (x, y), clipped to
// the image; an empty image when nothing is left.  May allocate.
Cell copy_part(const Cell* image, int32_t x, int32_t y, int32_t width, int32_t height);

// The empty image: 0x0, no pixels.
inline Cell empty() { return Cell{TYPE_IMAGE, 0, 0, 0}; }
inline uint32_t width_of(const Cell* image) { return image->data3 & 0xFFFFu; }
inline uint32_t height_of(const Cell* image) { return image->data3 >> 16; }

// The collector's hook for image! cells and the release callback of the
// "image" resource type.
void gc_mark(Cell* image);
void release(uint32_t handle);

// ---- Codecs (installed by the services layer) ------------------------------------------

// Encoder format codes.
enum Format : int32_t { FORMAT_BMP = 0, FORMAT_PNG = 1, FORMAT_GIF = 2, FORMAT_JPEG = 3, FORMAT_TIFF = 4 };

struct Codecs {
    // The first frame of an image file in memory as a new bitmap (from
    // alloc_bitmap), or null with a reason when it cannot be decoded.
    Bitmap* (*decode)(const uint8_t* bytes, uint32_t length, std::string* reason);
    // The pixels encoded in the format; false when it cannot be encoded.
    bool (*encode)(Bitmap* bitmap, int32_t format, std::vector<uint8_t>* out);
    // The bytes of a file! value; false when it cannot be read.  May allocate.
    bool (*read_file)(const Cell* file, std::vector<uint8_t>* out);
};
void          set_codecs(const Codecs& codecs);
const Codecs& codecs();

}  // namespace qor::image_backend
