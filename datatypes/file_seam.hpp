// Stand-in for url! and file! until the file datatypes and the file I/O
// layer are built: text values that take every action of string!, mold as
// URLs and %files, and a file! that `read` reads whole (text, /binary or
// /lines; a directory gives its entries).  Start-up calls file_seam::init at
// url!'s place in the registration order; the real modules replace this file.
#pragma once

namespace qor::file_seam {

void init();   // registers url! (id 9) then file! (id 8)

}  // namespace qor::file_seam
