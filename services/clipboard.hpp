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
// Images: image! is not built yet, so image formats on the clipboard read
// as nothing usable (none) and writing an image! raises internal/not-done.
#pragma once
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
    enum Kind { FAILED, NOTHING, TEXT, FILES } kind = NOTHING;
    std::string              text;    // TEXT: UTF-8
    std::vector<std::string> files;   // FILES: local names, UTF-8
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
