// The system clipboard: text and lists of files in and out.
//
// The portable side (clipboard.cpp) turns values into plain content and back
// and checks what may be written; the platform side moves that content.
// Windows (clipboard_win32.cpp): CF_UNICODETEXT and CF_HDROP, read in the
// order text, files, images; the clipboard is opened on behalf of the
// window the GUI registers (none before it starts), with three attempts.
// POSIX (clipboard_posix.cpp): the native build has no system clipboard, so
// the process keeps its own: what was written last is read back.
//
// Images: read from the registered formats "PNG", "JFIF" and "GIF" (as
// image files), else from a 32-bit BGRA CF_DIB with an alpha mask, else from
// the CF_BITMAP through GDI; written as "PNG" and as a CF_DIB with a V5
// header.  An image without pixels prepares nothing.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::clipboard {

// ---- Values (allocate; raise only for a value that cannot be written) --------------------

// `read-clipboard`: a string!, a block! of file!, none when nothing usable
// is on the clipboard, false when it could not be opened or its data could
// not be read.  Pushed on the argument stack and answered.
Cell* push_read();

// `write-clipboard`: none empties the clipboard, a string! is put as text,
// a block! as a list of files (each value a file name, converted to the
// system's form).  Any other value, or a block value that is no file name,
// raises script/invalid-arg before the clipboard is touched.  True when the
// clipboard took every format prepared.
bool write(const Cell* value);

// ---- Platform side --------------------------------------------------------------------------

struct Content {
    enum Kind { FAILED, NOTHING, TEXT, FILES, IMAGE } kind = NOTHING;
    std::string              text;    // TEXT: UTF-8
    std::vector<std::string> files;   // FILES: local names, UTF-8
    uint32_t                 width = 0, height = 0;   // IMAGE: the size and
    std::vector<uint32_t>    pixels;                  // the pixels, A << 24 | R << 16 | G << 8 | B
};

// The clipboard's content; FAILED when it could not be opened or read.
Content read_content();
// Empties the clipboard and puts the content (NOTHING: only empties);
// false when it could not be opened or did not take the data.
bool write_content(const Content& content);

// The window on whose behalf the clipboard is opened (an HWND; null: none).
void  set_owner_window(void* window);
void* owner_window();

}  // namespace qor::clipboard
