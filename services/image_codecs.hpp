// Image files in and out: the codecs behind image! decoding and encoding.
//
// The portable side (image_codecs.cpp) installs the codecs into the image
// backend (datatypes/image_backend.hpp) and reads file! sources through the
// file service.  The platform side decodes and encodes:
//   Windows (image_codecs_win32.cpp): the Windows Imaging Component;
//   POSIX (image_codecs_posix.cpp): libpng, libjpeg, giflib and libtiff.
// Both give 32-bit BGRA pixels (A << 24 | R << 16 | G << 8 | B) of the first
// frame, without gamma correction, 16-bit samples cut to their high byte.
// A header's size is checked against the backend's limits before any pixel
// memory is taken.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "datatypes/image_backend.hpp"

namespace qor::image_codecs {

// Installs the codecs into the image backend (start-up, once image! exists).
void init();

// The platform side.
image_backend::Bitmap* decode(const uint8_t* bytes, uint32_t length, std::string* reason);
bool encode(image_backend::Bitmap* bitmap, int32_t format, std::vector<uint8_t>* out);

}  // namespace qor::image_codecs
