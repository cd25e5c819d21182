// File and folder requesters: what the language side asks (title, start
// name, filters, modes), checked and put in a portable form for the window
// system's dialogs, and their answers made into file! values.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "runtime/cell.hpp"

namespace qor::gui {

struct FileDialog {
    bool has_title = false;
    std::string title;                 // UTF-8
    std::string initial_dir;           // local form; empty: none
    std::string initial_name;
    bool default_filter = true;        // no filter block given
    std::vector<std::pair<std::string, std::string>> filters;   // description, pattern
    bool save = false;
    bool multi = false;
};

struct FolderDialog {
    bool has_title = false;
    std::string title;
    std::string start_dir;             // local form; empty: none
    bool keep = false;                 // start where the last kept choice was
};

namespace dialogs {

// "All files", "Qor scripts", "VAMEL scripts", "Text files" and their patterns.
const std::vector<std::pair<std::string, std::string>>& default_filters();

// The common dialog's filter text: each string followed by NUL, then one
// more NUL; nothing for no pairs.
std::u16string filter_buffer(const std::vector<std::pair<std::string, std::string>>& pairs);

// The paths of a selection buffer: one path, or a folder followed by names
// (each NUL-terminated, an empty one last) joined to it.
std::vector<std::u16string> split_selection(const char16_t* buffer, size_t room);

// A local path in the language's form: c:\a\b gives /c/a/b, \\host\a gives /host/a.
std::string qor_path(const std::string& local);

std::u16string utf16(const std::string& utf8);
std::string utf8(const std::u16string& text);

}  // namespace dialogs
}  // namespace qor::gui
