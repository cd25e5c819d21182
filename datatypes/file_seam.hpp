// Stand-in for url! and file! until the file datatypes and the file I/O
// layer are built: text values that take every action of string!, mold as
// URLs and %files.  Start-up calls file_seam::init at url!'s place in the
// registration order, handing it file!'s read action from the file service
// (services/files.hpp); the real modules replace this file.
#pragma once
#include "datatypes/registry.hpp"

namespace qor::file_seam {

void init(ReadFn read = nullptr);   // registers url! (id 9) then file! (id 8)

}  // namespace qor::file_seam
