// The window-system messages the GUI reads, in the Windows numbering, so the
// event loop, the event builder and the event fields are portable code: the
// Windows backend hands its MSG records over as they are, the headless
// stand-in queues records of the same shape.
#pragma once
#include <cstdint>

namespace qor::gui {

// The layout of a Windows MSG on 32-bit Windows (28 bytes).
struct Message {
    uint32_t hwnd;
    uint32_t message;
    uint32_t wparam;
    int32_t  lparam;
    uint32_t time;
    int32_t  x, y;       // the pointer on the screen when the message was posted
};
static_assert(sizeof(Message) == 28);

inline int16_t low_signed(int32_t v) { return int16_t(uint32_t(v) & 0xFFFF); }
inline int16_t high_signed(int32_t v) { return int16_t(uint32_t(v) >> 16); }
inline int32_t pack_xy(int32_t x, int32_t y) { return int32_t((uint32_t(y) << 16) | (uint32_t(x) & 0xFFFF)); }

enum : uint32_t {
    WM_DESTROY = 0x0002, WM_MOVE = 0x0003, WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006,
    WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014,
    WM_SETCURSOR = 0x0020, WM_GETMINMAXINFO = 0x0024, WM_WINDOWPOSCHANGED = 0x0047,
    WM_NOTIFY = 0x004E, WM_DISPLAYCHANGE = 0x007E,
    WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105, WM_COMMAND = 0x0111, WM_TIMER = 0x0113, WM_HSCROLL = 0x0114,
    WM_VSCROLL = 0x0115, WM_GESTURE = 0x0119, WM_MENUSELECT = 0x011F, WM_ENTERMENULOOP = 0x0211,
    WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205,
    WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208, WM_MOUSEWHEEL = 0x020A,
    WM_XBUTTONDOWN = 0x020B, WM_XBUTTONUP = 0x020C,
    WM_SIZING = 0x0214, WM_MOVING = 0x0216, WM_ENTERSIZEMOVE = 0x0231, WM_EXITSIZEMOVE = 0x0232,
    WM_MOUSELEAVE = 0x02A3, WM_DPICHANGED = 0x02E0, WM_THEMECHANGED = 0x031A,
    WM_USER = 0x0400,
};

enum : uint32_t {
    MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
    MK_MBUTTON = 0x10, MK_XBUTTON1 = 0x20, MK_XBUTTON2 = 0x40,
};

enum : int32_t {
    VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_XBUTTON1 = 0x05,
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
    VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
    VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25,
    VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D, VK_DELETE = 0x2E,
    VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_F1 = 0x70, VK_F12 = 0x7B, VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3, VK_LMENU = 0xA4, VK_RMENU = 0xA5, VK_PROCESSKEY = 0xE5,
};

}  // namespace qor::gui
