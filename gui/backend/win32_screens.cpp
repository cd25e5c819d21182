// The monitors: their rectangles and scale factors, the primary first, each
// named by its monitor handle.
#include "gui/backend/win32_backend.hpp"

#include <vector>


namespace qor::gui::win32 {

namespace {

struct Found {
    std::vector<Screen> list;
};

BOOL CALLBACK collect(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    return BOOL(barrier(FALSE, [&]() -> LRESULT {
        Found* found = reinterpret_cast<Found*>(data);
        MONITORINFO info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        if (!GetMonitorInfoW(monitor, &info)) return TRUE;
        const RECT& r = info.rcMonitor;
        Screen s{r.left, r.top, r.right - r.left, r.bottom - r.top, monitor_dpi(monitor) / 96.0,
                 int32_t(reinterpret_cast<intptr_t>(monitor))};
        if (info.dwFlags & MONITORINFOF_PRIMARY) found->list.insert(found->list.begin(), s);
        else found->list.push_back(s);
        return TRUE;
    }));
}

}  // namespace

int32_t screens(Screen* out, int32_t room) {
    Found found;
    if (!EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&found)) || found.list.empty()) {
        // No monitor listed: the primary screen as the system metrics give it.
        if (room < 1) return 0;
        POINT origin{0, 0};
        HMONITOR primary = MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY);
        out[0] = Screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                        monitor_dpi(primary) / 96.0, int32_t(reinterpret_cast<intptr_t>(primary))};
        return 1;
    }
    int32_t n = 0;
    for (const Screen& s : found.list) {
        if (n >= room) break;
        out[n++] = s;
    }
    return n;
}

int32_t current_screen() {
    POINT pt{0, 0};
    if (!GetCursorPos(&pt)) pt = POINT{0, 0};
    return int32_t(reinterpret_cast<intptr_t>(MonitorFromPoint(pt, MONITOR_DEFAULTTONEAREST)));
}

}  // namespace qor::gui::win32
