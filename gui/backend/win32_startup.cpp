// The Windows backend's start-up and shutdown, the current DPI with its
// scale factor, the system metrics and colours, and dark mode.  Entries that
// newer Windows versions added (per-monitor DPI, dark mode) are looked up at
// run time, so qor.exe still starts where they are missing.
#include "gui/backend/win32_backend.hpp"

#include <commctrl.h>
#include <unknwn.h>
#include <uxtheme.h>

#include <cstdlib>
#include <cstring>

#include "datatypes/integer.hpp"
#include "datatypes/string.hpp"
#include "datatypes/system_fields.hpp"
#include "evaluator/natives_system.hpp"
#include "runtime/resources.hpp"

namespace qor::gui::win32 {

namespace {

Backend g_backend;

// A function of a module looked up by name (or ordinal), null when missing.
template <class F>
F proc_of(HMODULE module, const char* name) {
    if (!module) return nullptr;
    FARPROC p = GetProcAddress(module, name);
    F f;
    static_assert(sizeof f == sizeof p);
    std::memcpy(&f, &p, sizeof f);
    return f;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using DwmIsCompositionEnabledFn = HRESULT(WINAPI*)(BOOL*);
using DwmSetWindowAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
using ShouldAppsUseDarkModeFn = BOOL(WINAPI*)();

constexpr int MDT_EFFECTIVE = 0;
constexpr UINT NONCLIENT_METRICS_SIZE = 504;
constexpr DWORD DWM_DARK_TITLE_BAR = 20;

HMODULE user32() { return GetModuleHandleW(L"user32.dll"); }

// shcore.dll is loaded once and kept: its GetDpiForMonitor is asked often.
HMODULE g_shcore = nullptr;
bool g_shcore_tried = false;
GetDpiForMonitorFn dpi_for_monitor() {
    if (!g_shcore_tried) {
        g_shcore_tried = true;
        g_shcore = LoadLibraryW(L"shcore.dll");
    }
    return proc_of<GetDpiForMonitorFn>(g_shcore, "GetDpiForMonitor");
}

// Per-monitor awareness (v2, else v1); the manifest asks for it too, and
// where the call fails (an older system, or one that set it already) the
// process goes on as it is.
void become_dpi_aware() {
    auto set_context = proc_of<SetProcessDpiAwarenessContextFn>(user32(), "SetProcessDpiAwarenessContext");
    if (set_context) {
        if (set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)))) return;
        if (set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-3)))) return;
    }
}

void read_version() {
    OSVERSIONINFOEXW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    static_assert(sizeof(OSVERSIONINFOEXW) == 284);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#pragma GCC diagnostic pop
    if (!ok) return;   // the fields stay 0: the oldest system's choices
    g_backend.major = info.dwMajorVersion;
    g_backend.minor = info.dwMinorVersion;
    g_backend.build = info.dwBuildNumber;
    g_backend.product = info.wProductType;
}

void read_composition() {
    HMODULE dwm = LoadLibraryA("dwmapi.dll");
    if (!dwm) return;
    auto enabled = proc_of<DwmIsCompositionEnabledFn>(dwm, "DwmIsCompositionEnabled");
    BOOL on = FALSE;
    if (enabled && SUCCEEDED(enabled(&on))) g_backend.composition = on != FALSE;
    FreeLibrary(dwm);
}

void init_common_controls() {
    if (g_backend.major == 5 && g_backend.minor == 0) return;
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = 8;
    icc.dwICC = 0x413D;   // standard, date, progress, up-down, tab, bar and list-view classes
    InitCommonControlsEx(&icc);
}

// Writes a field of system/view/fonts (allocation may move the object's
// values, so the field is looked up after the value is made).
void set_font_field(const char* name, const Cell& value) {
    Cell* fonts = system_fields::value({"view", "fonts"});
    if (!fonts) return;
    if (Cell* cell = system_fields::field(fonts, name)) *cell = value;
}

// Windows that use the old default font get the new one.
struct FontSwap {
    HFONT from, to;
};

BOOL CALLBACK swap_font(HWND hwnd, LPARAM data) {
    return BOOL(barrier(TRUE, [&]() -> LRESULT {
        const FontSwap* swap = reinterpret_cast<const FontSwap*>(data);
        if (reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)) == swap->from)
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(swap->to), TRUE);
        return TRUE;
    }));
}

BOOL CALLBACK swap_top_font(HWND hwnd, LPARAM data) {
    return BOOL(barrier(TRUE, [&]() -> LRESULT {
        swap_font(hwnd, data);
        EnumChildWindows(hwnd, swap_font, data);
        return TRUE;
    }));
}

// The message font of the non-client metrics at the current DPI becomes the
// default font and system/view/fonts/system and /size.
void default_fonts(HWND hwnd) {
    NONCLIENTMETRICSW metrics;
    static_assert(sizeof metrics == NONCLIENT_METRICS_SIZE);
    std::memset(&metrics, 0, sizeof metrics);
    metrics.cbSize = NONCLIENT_METRICS_SIZE;
    BOOL ok;
    if (auto for_dpi = proc_of<SystemParametersInfoForDpiFn>(user32(), "SystemParametersInfoForDpi"))
        ok = for_dpi(SPI_GETNONCLIENTMETRICS, NONCLIENT_METRICS_SIZE, &metrics, 0, UINT(g_backend.dpi_x));
    else
        ok = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, NONCLIENT_METRICS_SIZE, &metrics, 0);

    // The old font is deleted only once no window of the thread uses it.
    HFONT old_font = g_backend.default_font_owned ? g_backend.default_font : nullptr;
    g_backend.default_font = nullptr;
    g_backend.default_font_owned = false;
    if (ok) {
        const LOGFONTW& lf = metrics.lfMessageFont;
        int n = WideCharToMultiByte(CP_UTF8, 0, lf.lfFaceName, -1, nullptr, 0, nullptr, nullptr);
        if (n > 1) {
            std::string name(size_t(n), '\0');
            WideCharToMultiByte(CP_UTF8, 0, lf.lfFaceName, -1, name.data(), n, nullptr, nullptr);
            name.resize(size_t(n - 1));
            set_font_field("system", string::from_utf8(name.data(), name.size()));
        }
        if (g_backend.dpi_y > 0) set_font_field("size", integer::make(-(lf.lfHeight * 72 / g_backend.dpi_y)));
        g_backend.default_font = CreateFontIndirectW(&lf);
        g_backend.default_font_owned = g_backend.default_font != nullptr;
    }
    if (!g_backend.default_font) g_backend.default_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (old_font) {
        FontSwap swap{old_font, g_backend.default_font};
        EnumThreadWindows(GetCurrentThreadId(), swap_top_font, reinterpret_cast<LPARAM>(&swap));
        DeleteObject(old_font);
    }
    if (!g_backend.default_font_owned) return;   // the window gets none
    if (hwnd && ok) {
        if (HGDIOBJ old = reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(slot(hwnd, SLOT_GDI)))) DeleteObject(old);
        HFONT own = CreateFontIndirectW(&metrics.lfMessageFont);
        set_slot(hwnd, SLOT_GDI, static_cast<LONG>(reinterpret_cast<intptr_t>(own)));
    }
}

void system_metrics() {
    g_backend.scroller_w = GetSystemMetrics(SM_CXVSCROLL);
    g_backend.scroller_h = GetSystemMetrics(SM_CYVSCROLL);
    g_backend.color_text = GetSysColor(COLOR_WINDOWTEXT);
    g_backend.color_window = GetSysColor(COLOR_WINDOW);
    g_backend.color_panel = GetSysColor(COLOR_BTNFACE);
}

bool high_contrast() {
    HIGHCONTRASTW hc;
    static_assert(sizeof hc == 12);
    std::memset(&hc, 0, sizeof hc);
    hc.cbSize = sizeof hc;
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

BOOL CALLBACK theme_child(HWND child, LPARAM dark) {
    return BOOL(barrier(TRUE, [&]() -> LRESULT {
        SetWindowTheme(child, dark ? L"DarkMode_Explorer" : L"Explorer", nullptr);
        return TRUE;
    }));
}

void shutdown_at_exit() { shutdown(); }

// `wait` takes one pending message after its sleep.
void pump_one() { do_events(true); }

// The release callbacks of the resource types values hold.
void release_font(uint32_t handle) {
    if (handle) DeleteObject(reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(handle)));
}
void release_com_object(uint32_t handle) {
    if (handle) reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(handle))->Release();
}

}  // namespace

Backend& backend() { return g_backend; }

void refresh_fonts(HWND hwnd) { default_fonts(hwnd); }

void set_dpi(int32_t dpi) {
    if (dpi <= 0) return;
    g_backend.dpi_x = g_backend.dpi_y = dpi;
    g_backend.dpi = double(dpi);
    g_backend.scale = g_backend.dpi / 96.0;
}

int32_t monitor_dpi(HMONITOR monitor) {
    UINT x = 0, y = 0;
    auto for_monitor = dpi_for_monitor();
    if (monitor && for_monitor && SUCCEEDED(for_monitor(monitor, MDT_EFFECTIVE, &x, &y)) && x > 0) return int32_t(x);
    if (g_backend.screen_dc) {
        int caps = GetDeviceCaps(g_backend.screen_dc, LOGPIXELSX);
        if (caps > 0) return caps;
    }
    return 96;
}

int32_t window_dpi(HWND hwnd) {
    auto for_window = proc_of<GetDpiForWindowFn>(user32(), "GetDpiForWindow");
    if (hwnd && for_window) {
        UINT dpi = for_window(GetAncestor(hwnd, GA_ROOT));
        if (dpi) return int32_t(dpi);
    }
    return g_backend.dpi_x;
}

int32_t push_dpi(HWND hwnd) {
    int32_t saved = g_backend.dpi_x;
    if (hwnd) set_dpi(window_dpi(hwnd));
    g_backend.dpi_nesting++;
    return saved;
}

void pop_dpi(int32_t dpi) {
    g_backend.dpi_nesting--;
    if (dpi == g_backend.dpi_x) return;
    HWND active = GetActiveWindow();
    if (g_backend.dpi_nesting <= 0 && active && IsWindowVisible(active)) set_dpi(window_dpi(active));
    else set_dpi(dpi);
}

void activate_dpi(HWND hwnd) { set_dpi(window_dpi(hwnd)); }

int32_t cursor_monitor_dpi() {
    POINT pt{0, 0};
    if (!GetCursorPos(&pt)) pt = POINT{0, 0};
    return monitor_dpi(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST));
}

void rect_dpi(double x, double y, double width, double height) {
    bool changed = false;
    for (int round = 0; round < 4; ++round) {
        double s = g_backend.scale;
        RECT r{LONG(x * s + 0.5), LONG(y * s + 0.5), 0, 0};
        r.right = r.left + LONG(width * s + 0.5);
        r.bottom = r.top + LONG(height * s + 0.5);
        int32_t dpi = monitor_dpi(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST));
        changed = dpi != g_backend.dpi_x;
        if (!changed) return;
        set_dpi(dpi);
    }
    if (changed) set_dpi(cursor_monitor_dpi());
}

bool dark_mode_active() {
    if (!g_backend.win10 || !g_backend.dark_mode_query) return false;
    if (high_contrast()) return false;
    ShouldAppsUseDarkModeFn query;
    static_assert(sizeof query == sizeof g_backend.dark_mode_query);
    std::memcpy(&query, &g_backend.dark_mode_query, sizeof query);
    return query() != FALSE;
}

bool support_dark_mode() { return g_backend.win10 && !high_contrast(); }

void set_dark_mode(HWND hwnd, bool dark, bool window) {
    if (!hwnd || !IsWindow(hwnd)) return;
    if (window) {
        HMODULE dwm = LoadLibraryA("dwmapi.dll");
        if (dwm) {
            if (auto set_attribute = proc_of<DwmSetWindowAttributeFn>(dwm, "DwmSetWindowAttribute")) {
                BOOL on = dark ? TRUE : FALSE;
                set_attribute(hwnd, DWM_DARK_TITLE_BAR, &on, sizeof on);
            }
            FreeLibrary(dwm);
        }
    }
    SetWindowTheme(hwnd, dark ? L"DarkMode_Explorer" : L"Explorer", nullptr);
    EnumChildWindows(hwnd, theme_child, dark ? 1 : 0);
}

void version(int32_t* major, int32_t* minor, int32_t* build, int32_t* product) {
    *major = int32_t(g_backend.major);
    *minor = int32_t(g_backend.minor);
    *build = int32_t(g_backend.build);
    *product = int32_t(g_backend.product);
}

void start() {
    if (g_backend.started) return;   // once per process: the classes stay registered
    become_dpi_aware();
    g_backend.process_id = GetCurrentProcessId();
    g_backend.screen_dc = GetDC(nullptr);
    g_backend.instance = GetModuleHandleW(nullptr);
    read_version();
    init_common_controls();
    read_composition();
    DWORD major = g_backend.major, minor = g_backend.minor;
    g_backend.win10 = major >= 10;
    g_backend.win8_or_later = major >= 10 || (major == 6 && minor >= 2) || (major > 6);
    g_backend.legacy_drawing = major < 6;
    set_dpi(cursor_monitor_dpi());
    // The other parts of the backend (draw, controls, menus, base faces,
    // fonts) set their entries of hooks() here, before any window exists.
    link_hooks();
    default_fonts(nullptr);
    g_backend.classes_registered = register_classes(g_backend.instance);
    g_backend.win11 = g_backend.build >= 22000;
    system_metrics();
    if (g_backend.win10) {
        g_backend.uxtheme = LoadLibraryW(L"uxtheme.dll");
        g_backend.dark_mode_query = g_backend.uxtheme ? GetProcAddress(g_backend.uxtheme, MAKEINTRESOURCEA(132)) : nullptr;
        g_backend.dark_mode = dark_mode_active();
    }
    g_backend.font_resource = resource_types::register_type("font", release_font);
    g_backend.com_resource = resource_types::register_type("com-object", release_com_object);
    natives::set_event_pump(pump_one);
    g_backend.started = true;
    static bool at_exit = (std::atexit(shutdown_at_exit), true);
    (void)at_exit;
}

void shutdown() {
    if (!g_backend.started) return;
    natives::set_event_pump(nullptr);
    if (g_backend.classes_registered) unregister_classes(g_backend.instance);
    g_backend.classes_registered = false;
    if (g_backend.default_font_owned && g_backend.default_font) DeleteObject(g_backend.default_font);
    g_backend.default_font = nullptr;
    g_backend.default_font_owned = false;
    if (g_backend.screen_dc) ReleaseDC(nullptr, g_backend.screen_dc);
    g_backend.screen_dc = nullptr;
    if (g_backend.uxtheme) FreeLibrary(g_backend.uxtheme);
    g_backend.uxtheme = nullptr;
    g_backend.dark_mode_query = nullptr;
    if (g_shcore) FreeLibrary(g_shcore);
    g_shcore = nullptr;
    g_shcore_tried = false;
    g_backend.started = false;
}

}  // namespace qor::gui::win32
