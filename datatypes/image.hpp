// image!: a bitmap of 32-bit pixels seen as a series of pixels with an index.
//
//   parent   series!
//   header   TYPE_IMAGE (owner::CELL_OWNED_IMAGE when an object owns it)
//   word 1   index: 0-based pixel offset (0 = head)
//   word 2   node of the backend's handle record (0: no pixels)
//   word 3   height << 16 | width
//
// A pixel is A << 24 | R << 16 | G << 8 | B (A 255 = opaque); in the
// language it is the tuple R.G.B.T with T = 255 - A.  Offsets run row by
// row: offset = x + width * y.  The pixels live in the image backend
// (datatypes/image_backend.hpp), which releases them when the image dies.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace qor::image {

void init();   // registers image! (after series!) and the "image" resource type

// `to image!` of a face (an object with `type` and `state` fields): the
// GUI's capture, set at its start-up; it writes the image, or none when the
// face has no window, to out.  Without one, objects are refused.
using FaceCapture = void (*)(const Cell* face, Cell* out);
void set_face_capture(FaceCapture capture);

// Channel modes of the path words.
enum Channel : int32_t { CHANNEL_ALPHA = 0, CHANNEL_RGB = 1, CHANNEL_ARGB = 2 };

// The pixel at the 0-based offset as a pushed 4-byte tuple, or a pushed
// none when the offset is not a pixel of the image.
Cell* get_pixel(const Cell* image, int64_t offset);

// A new binary of one channel of every pixel: alpha one byte 255 - A,
// rgb three bytes R G B, argb the raw pixels (B G R A in memory).  May allocate.
Cell channel_to_binary(const Cell* image, int32_t mode);
// Writes a binary!, tuple! or integer! into one channel of every pixel;
// another type raises script/invalid-arg.
void channel_from_value(const Cell* image, const Cell* value, int32_t mode);

// A new image! decoded from a binary! or file!, or none!: a binary without
// a known image signature gives none; a known signature that does not
// decode raises access/bad-media; a file that cannot be loaded raises
// access/cannot-open with the file.  Pushed and answered.  May allocate.
Cell* decode(const Cell* source);
// The image encoded in a format (image_backend::Format) as a new binary!,
// pushed and answered; an image without pixels raises access/bad-media;
// an unknown format prints "Cannot find image encoder" and answers a
// pushed unset.  May allocate.
Cell* encode(const Cell* image, int32_t format);
// True when the bytes begin with the signature of PNG, JPEG, BMP, GIF or TIFF.
bool known_signature(const uint8_t* bytes, uint32_t length);

}  // namespace qor::image
