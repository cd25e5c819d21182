// The process-wide graphics objects of the Direct2D draw backend (the
// Direct2D and DirectWrite factories, the Direct3D 11 device and the
// shared Direct2D device context), the swap-chain target of each drawn
// window, colours and DirectWrite text formats.  Windows only.
#pragma once
#include <windows.h>

#include <d2d1_1.h>
#include <d3d11.h>
#include <dwrite.h>
#include <dxgi1_2.h>
#include <wincodec.h>

#include <string>

#include "runtime/cell.hpp"

namespace qor::gui::d2d {

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

struct Devices {
    ID2D1Factory1*       factory = nullptr;
    IDWriteFactory*      write = nullptr;    // null when DWrite.dll is missing
    IWICImagingFactory*  wic = nullptr;
    ID3D11Device*        d3d = nullptr;
    ID3D11DeviceContext* d3d_context = nullptr;
    ID2D1Device*         device = nullptr;
    ID2D1DeviceContext*  context = nullptr;  // shared by every window
    IDXGIFactory2*       dxgi = nullptr;
    float                dpi = 96;
    wchar_t              locale[85] = L"en-us";
    bool                 write_missing = false;
    bool                 composition = false;   // DirectComposition answered; unused when absent
};

// Starts once (later calls do nothing); false when no device could be made.
bool init();
Devices& devices();
// (Re)creates the Direct3D and Direct2D devices: hardware unless
// system/view/GPU? is off, WARP otherwise or when the hardware fails.
bool create_device(bool hardware);
void shutdown();

// The swap chain and its target bitmap of one window.
struct WindowTarget {
    HWND             hwnd = nullptr;
    IDXGISwapChain1* swap_chain = nullptr;
    ID2D1Bitmap1*    bitmap = nullptr;
    UINT             width = 0, height = 0;
    // The window's image as a top-down 32-bit DIB, for windows that hand a
    // GDI bitmap to the system (layered windows).
    ID3D11Texture2D* staging = nullptr;
    HDC              memory_dc = nullptr;
    HBITMAP          dib = nullptr;
    void*            bits = nullptr;
    UINT             dib_width = 0, dib_height = 0;
};
// The window's target, made (or resized to its client area) on demand; null
// without a device.
WindowTarget* window_target(HWND hwnd);
void release_window_target(HWND hwnd);
// A window that has a target keeps it the size of its client area (WM_SIZE).
void resize_window_target(HWND hwnd);
// Every window loses its target (a removed device) and repaints.
void release_all_targets();
// Presents a window's frame; a removed or reset device is replaced and the
// window invalidated (QOR_TEST_DEVICE_LOSS makes the first present report
// a removed device).
void present(WindowTarget* target);

// The window's last frame copied into its target's DIB section (selected
// into the target's memory DC); null without a device, a swap chain or a
// client area, or when a step fails.
HBITMAP copy_to_dib(HWND hwnd);

// R | G << 8 | B << 16 | transparency << 24 as a Direct2D colour.
D2D1_COLOR_F colour(uint32_t c);

// A text format from a font object (name, size in points, style), or the
// default font when `font` is not an object.  The caller releases it.
IDWriteTextFormat* text_format(const Cell* font);
// A field of an object by name, or null.
const Cell* field(const Cell* object, const char* name);
// A string! as UTF-16.
std::wstring wide(const Cell* string);

}  // namespace qor::gui::d2d
