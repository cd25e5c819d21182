// Devices, window targets and text formats of the Direct2D backend.
//
// Windows draw through a swap chain made for the window itself; the
// DirectComposition path is not taken (wine answers E_NOTIMPL for it, and
// the plain swap chain is what works everywhere).
#include "gui/backend/d2d_device.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "datatypes/context.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/unicode.hpp"
#include "datatypes/word.hpp"
#include "datatypes/block.hpp"
#include "gui/draw_dialect.hpp"

namespace qor::gui::d2d {

namespace {

Devices g;
bool g_started = false;
bool g_fake_loss = false;   // QOR_TEST_DEVICE_LOSS: the next present fails
bool g_occluded = false;
std::map<HWND, WindowTarget*> g_targets;

using CreateWriteFactory = HRESULT(WINAPI*)(DWRITE_FACTORY_TYPE, REFIID, IUnknown**);
using LocaleName = int(WINAPI*)(LPWSTR, int);

void release_device() {
    release(g.context);
    release(g.device);
    release(g.dxgi);
    release(g.d3d_context);
    release(g.d3d);
}

}  // namespace

Devices& devices() { return g; }

bool create_device(bool hardware) {
    if (g.context) {
        release_all_targets();
        release_device();
    }
    if (!g.factory) return false;
    UINT flags = D3D11_CREATE_DEVICE_BGRA_SUPPORT | D3D11_CREATE_DEVICE_SINGLETHREADED;
    D3D_DRIVER_TYPE kinds[2] = {hardware ? D3D_DRIVER_TYPE_HARDWARE : D3D_DRIVER_TYPE_WARP, D3D_DRIVER_TYPE_WARP};
    HRESULT hr = E_FAIL;
    for (D3D_DRIVER_TYPE kind : kinds) {
        hr = D3D11CreateDevice(nullptr, kind, nullptr, flags, nullptr, 0, D3D11_SDK_VERSION, &g.d3d, nullptr,
                               &g.d3d_context);
        if (SUCCEEDED(hr)) break;
    }
    if (FAILED(hr)) return false;
    IDXGIDevice* dxgi_device = nullptr;
    IDXGIAdapter* adapter = nullptr;
    bool ok = SUCCEEDED(g.d3d->QueryInterface(__uuidof(IDXGIDevice), reinterpret_cast<void**>(&dxgi_device))) &&
              SUCCEEDED(g.factory->CreateDevice(dxgi_device, &g.device)) &&
              SUCCEEDED(g.device->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, &g.context)) &&
              SUCCEEDED(dxgi_device->GetAdapter(&adapter)) &&
              SUCCEEDED(adapter->GetParent(__uuidof(IDXGIFactory2), reinterpret_cast<void**>(&g.dxgi)));
    release(adapter);
    release(dxgi_device);
    if (!ok) release_device();
    return ok;
}

bool init() {
    if (g_started) return g.context != nullptr;
    g_started = true;
    const char* loss = std::getenv("QOR_TEST_DEVICE_LOSS");
    g_fake_loss = loss && *loss && *loss != '0';
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE dwrite = LoadLibraryW(L"DWrite.dll");
    if (!dwrite) {
        g.write_missing = true;
        return false;
    }
    auto make_write = reinterpret_cast<CreateWriteFactory>(
        reinterpret_cast<void*>(GetProcAddress(dwrite, "DWriteCreateFactory")));
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        auto locale = reinterpret_cast<LocaleName>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultLocaleName")));
        if (locale) locale(g.locale, 85);
    }
    D2D1_FACTORY_OPTIONS options{D2D1_DEBUG_LEVEL_NONE};
    if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), &options,
                                 reinterpret_cast<void**>(&g.factory))))
        return false;
    if (make_write)
        make_write(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory), reinterpret_cast<IUnknown**>(&g.write));
    CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     reinterpret_cast<void**>(&g.wic));
    HDC screen = GetDC(nullptr);
    g.dpi = float(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
    return create_device(true);
}

void shutdown() {
    release_all_targets();
    release_device();
    release(g.wic);
    release(g.write);
    release(g.factory);
    g_started = false;
}

namespace {

bool make_target_bitmap(WindowTarget* t) {
    IDXGISurface* surface = nullptr;
    if (FAILED(t->swap_chain->GetBuffer(0, __uuidof(IDXGISurface), reinterpret_cast<void**>(&surface)))) return false;
    D2D1_BITMAP_PROPERTIES1 props = D2D1::BitmapProperties1(
        D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW,
        D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED), g.dpi, g.dpi);
    g.context->SetDpi(g.dpi, g.dpi);
    HRESULT hr = g.context->CreateBitmapFromDxgiSurface(surface, &props, &t->bitmap);
    release(surface);
    return SUCCEEDED(hr);
}

}  // namespace

WindowTarget* window_target(HWND hwnd) {
    if (!init() || !g.context || !g.dxgi) return nullptr;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    UINT w = UINT(rc.right > 0 ? rc.right : 1), h = UINT(rc.bottom > 0 ? rc.bottom : 1);
    auto it = g_targets.find(hwnd);
    if (it != g_targets.end()) {
        WindowTarget* t = it->second;
        if ((t->width != w || t->height != h) && t->swap_chain) {
            release(t->bitmap);
            if (FAILED(t->swap_chain->ResizeBuffers(0, w, h, DXGI_FORMAT_B8G8R8A8_UNORM, 0))) {
                std::fputs("resizing failed\n", stdout);
                return t;
            }
            t->width = w;
            t->height = h;
            make_target_bitmap(t);
        }
        return t;
    }
    auto* t = new WindowTarget;
    t->hwnd = hwnd;
    t->width = w;
    t->height = h;
    DXGI_SWAP_CHAIN_DESC1 desc{};
    desc.Width = w;
    desc.Height = h;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    desc.BufferCount = 1;
    desc.Scaling = DXGI_SCALING_STRETCH;
    desc.SwapEffect = DXGI_SWAP_EFFECT_SEQUENTIAL;
    if (FAILED(g.dxgi->CreateSwapChainForHwnd(g.d3d, hwnd, &desc, nullptr, nullptr, &t->swap_chain))) {
        std::fputs("*** Access Error: cannot create: window\n", stdout);
        t->swap_chain = nullptr;
    } else {
        make_target_bitmap(t);
    }
    g_targets[hwnd] = t;
    return t;
}

namespace {

void release_dib(WindowTarget* t) {
    release(t->staging);
    if (t->memory_dc) DeleteDC(t->memory_dc);
    if (t->dib) DeleteObject(t->dib);
    t->memory_dc = nullptr;
    t->dib = nullptr;
    t->bits = nullptr;
    t->dib_width = t->dib_height = 0;
}

}  // namespace

HBITMAP copy_to_dib(HWND hwnd) {
    auto it = g_targets.find(hwnd);
    if (!g.d3d || it == g_targets.end() || !it->second->swap_chain) return nullptr;
    WindowTarget* t = it->second;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    if (rc.right < 1 || rc.bottom < 1) return nullptr;
    UINT w = UINT(rc.right), h = UINT(rc.bottom);
    if (!t->staging || t->dib_width != w || t->dib_height != h) {
        release_dib(t);
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = w;
        desc.Height = h;
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_STAGING;
        desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = LONG(w);
        bi.bmiHeader.biHeight = -LONG(h);   // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        if (FAILED(g.d3d->CreateTexture2D(&desc, nullptr, &t->staging))) return nullptr;
        t->memory_dc = CreateCompatibleDC(nullptr);
        t->dib = CreateDIBSection(t->memory_dc, &bi, DIB_RGB_COLORS, &t->bits, nullptr, 0);
        if (!t->memory_dc || !t->dib || !t->bits) {
            release_dib(t);
            return nullptr;
        }
        SelectObject(t->memory_dc, t->dib);
        t->dib_width = w;
        t->dib_height = h;
    }
    ID3D11Texture2D* buffer = nullptr;
    if (FAILED(t->swap_chain->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&buffer))))
        return nullptr;
    g.d3d_context->CopyResource(t->staging, buffer);
    release(buffer);
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(g.d3d_context->Map(t->staging, 0, D3D11_MAP_READ, 0, &mapped))) return nullptr;
    for (UINT y = 0; y < h; ++y)
        std::memcpy(static_cast<BYTE*>(t->bits) + y * w * 4, static_cast<const BYTE*>(mapped.pData) + y * mapped.RowPitch,
                    w * 4);
    g.d3d_context->Unmap(t->staging, 0);
    return t->dib;
}

void release_window_target(HWND hwnd) {
    auto it = g_targets.find(hwnd);
    if (it == g_targets.end()) return;
    release_dib(it->second);
    release(it->second->bitmap);
    release(it->second->swap_chain);
    delete it->second;
    g_targets.erase(it);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void resize_window_target(HWND hwnd) {
    if (g_targets.find(hwnd) != g_targets.end()) window_target(hwnd);
}

void release_all_targets() {
    while (!g_targets.empty()) release_window_target(g_targets.begin()->first);
}

void present(WindowTarget* t) {
    if (!t || !t->swap_chain) return;
    HRESULT hr;
    if (g_fake_loss) {
        g_fake_loss = false;
        hr = DXGI_ERROR_DEVICE_REMOVED;
    } else {
        hr = t->swap_chain->Present(0, g_occluded ? DXGI_PRESENT_TEST : 0);
        if (g_occluded && hr == S_OK) hr = t->swap_chain->Present(0, 0);
    }
    if (hr == S_OK) {
        g_occluded = false;
    } else if (hr == DXGI_STATUS_OCCLUDED) {
        g_occluded = true;
    } else if (hr == DXGI_ERROR_DEVICE_REMOVED || hr == DXGI_ERROR_DEVICE_RESET) {
        // The frame is lost; every window repaints on the new device.
        HWND hwnd = t->hwnd;
        release_all_targets();
        if (g.d3d_context) {
            g.d3d_context->ClearState();
            g.d3d_context->Flush();
        }
        create_device(true);
        InvalidateRect(hwnd, nullptr, FALSE);
    } else {
        std::printf("draw-end error: %ld\n", long(hr));
    }
}

D2D1_COLOR_F colour(uint32_t c) {
    return D2D1::ColorF(float(c & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float((c >> 16) & 0xFF) / 255.0f,
                        float(255 - (c >> 24)) / 255.0f);
}

const Cell* field(const Cell* object, const char* name) {
    if (!object || type_of(object) != TYPE_OBJECT) return nullptr;
    int32_t sym = symbol::find(name, true);
    if (sym <= 0) return nullptr;
    return context::value_by_symbol(sym, reinterpret_cast<Node>(object->data1));
}

std::wstring wide(const Cell* string) {
    if (!string || type_of(string) != TYPE_STRING) return std::wstring();
    Cell s = *string;
    int32_t length = -1;
    const uint16_t* units = unicode::to_utf16_part(&s, &length, false);
    if (!units) return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(units), size_t(length));
}

IDWriteTextFormat* text_format(const Cell* font) {
    if (!g.write) return nullptr;
    std::wstring name = L"Segoe UI";
    float points = 9;
    DWRITE_FONT_WEIGHT weight = DWRITE_FONT_WEIGHT_NORMAL;
    DWRITE_FONT_STYLE style = DWRITE_FONT_STYLE_NORMAL;
    if (font && type_of(font) == TYPE_OBJECT) {
        if (const Cell* n = field(font, "name"); n && type_of(n) == TYPE_STRING) {
            name = wide(n);
            if (name.size() > 31) name.resize(31);
        }
        if (const Cell* s = field(font, "size"); s && type_of(s) == TYPE_INTEGER && int32_t(s->data2) >= 1)
            points = float(int32_t(s->data2));
        if (const Cell* st = field(font, "style")) {
            auto has = [&](const char* w) {
                if (is_word_kind(type_of(st))) return draw::is_keyword(st, w);
                if (type_of(st) != TYPE_BLOCK) return false;
                for (uint32_t i = 0; i < block::length(st); ++i)
                    if (draw::is_keyword(block::item(st, i), w)) return true;
                return false;
            };
            if (has("bold")) weight = DWRITE_FONT_WEIGHT_BOLD;
            if (has("italic")) style = DWRITE_FONT_STYLE_ITALIC;
        }
    }
    IDWriteTextFormat* format = nullptr;
    g.write->CreateTextFormat(name.c_str(), nullptr, weight, style, DWRITE_FONT_STRETCH_NORMAL, points * 96.0f / 72.0f,
                              g.locale, &format);
    return format;
}

}  // namespace qor::gui::d2d
