// The common file dialogs and the folder browser.

#include "gui/backend/win32_backend.hpp"
#include "gui/backend/controls_win32.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

namespace qor::gui::win32 {

namespace {

constexpr DWORD NAME_ROOM = 8192;

// Kept for the whole process, as the dialogs expect to be reopened alike.
OPENFILENAMEW g_ofn;
BROWSEINFOW g_browse;
PIDLIST_ABSOLUTE g_kept = nullptr;   // the last folder chosen with keep
bool g_select_again = false;         // one more selection after the tree expanded

std::wstring wide(const std::string& s) {
    std::u16string u = dialogs::utf16(s);
    return std::wstring(u.begin(), u.end());
}

std::string narrow(const wchar_t* s) {
    std::u16string u;
    for (; *s; ++s) u += char16_t(*s);
    return dialogs::utf8(u);
}

int CALLBACK browse_callback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    return int(barrier(0, [&]() -> LRESULT {
        if (!data) return 0;
        BOOL is_path = reinterpret_cast<void*>(data) != static_cast<void*>(g_kept) ? TRUE : FALSE;
        if (message == BFFM_INITIALIZED) {
            g_select_again = true;
            SendMessageW(hwnd, BFFM_SETSELECTIONW, WPARAM(is_path), data);
        } else if (message == BFFM_SELCHANGED && g_select_again) {
            g_select_again = false;
            SendMessageW(hwnd, BFFM_SETSELECTIONW, WPARAM(is_path), data);
        }
        return 0;
    }));
}

}  // namespace

bool file_dialog(const FileDialog& d, std::vector<std::string>* paths) {
    paths->clear();
    std::vector<wchar_t> names(NAME_ROOM, L'\0');
    std::wstring dir = wide(d.initial_dir), title = wide(d.title);
    std::wstring name = wide(d.initial_name);
    if (name.size() < NAME_ROOM) std::copy(name.begin(), name.end(), names.begin());
    std::u16string filter = dialogs::filter_buffer(d.default_filter ? dialogs::default_filters() : d.filters);
    std::wstring wfilter(filter.begin(), filter.end());

    g_ofn = OPENFILENAMEW{};
    g_ofn.lStructSize = sizeof g_ofn;   // 88 on 32-bit Windows
    g_ofn.hwndOwner = GetForegroundWindow();
    g_ofn.lpstrTitle = d.has_title ? title.c_str() : nullptr;
    g_ofn.lpstrFile = names.data();
    g_ofn.nMaxFile = NAME_ROOM;
    g_ofn.lpstrFilter = wfilter.empty() ? nullptr : wfilter.c_str();
    g_ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    g_ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (d.multi) g_ofn.Flags |= OFN_ALLOWMULTISELECT;
    BOOL ok = d.save ? GetSaveFileNameW(&g_ofn) : GetOpenFileNameW(&g_ofn);
    if (!ok) return false;
    if (!d.multi) {
        paths->push_back(narrow(names.data()));
        return true;
    }
    std::u16string buffer(names.begin(), names.end());
    for (const std::u16string& p : dialogs::split_selection(buffer.data(), buffer.size()))
        paths->push_back(dialogs::utf8(p));
    return !paths->empty();
}

bool folder_dialog(const FolderDialog& d, std::string* path) {
    path->clear();
    wchar_t start[MAX_PATH] = {};
    std::wstring dir = wide(d.start_dir), title = wide(d.title);
    if (!dir.empty() && dir.size() < MAX_PATH) std::copy(dir.begin(), dir.end(), start);

    g_browse = BROWSEINFOW{};
    g_browse.hwndOwner = GetForegroundWindow();
    g_browse.lpszTitle = d.has_title ? title.c_str() : nullptr;
    g_browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    g_browse.lpfn = browse_callback;
    g_browse.lParam = d.keep ? LPARAM(g_kept) : (start[0] ? LPARAM(start) : 0);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&g_browse);
    if (!chosen) return false;
    wchar_t result[MAX_PATH] = {};
    BOOL ok = SHGetPathFromIDListW(chosen, result);
    if (d.keep) {
        if (g_kept) CoTaskMemFree(g_kept);
        g_kept = chosen;
    } else {
        CoTaskMemFree(chosen);
    }
    if (!ok) return false;
    *path = narrow(result);
    if (path->empty() || path->back() != '\\') *path += '\\';
    return true;
}

}  // namespace qor::gui::win32
