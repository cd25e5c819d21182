// Stand-in for pair! until the datatype itself is built: enough for the
// console's size and the lexer's token positions (x and y read by path,
// form, mold, equality).  Start-up calls pair_seam::init at pair!'s place in
// the registration order; the real pair! module replaces this file.
#pragma once

namespace qor::pair_seam {

void init();   // registers pair! (id 37)

}  // namespace qor::pair_seam
