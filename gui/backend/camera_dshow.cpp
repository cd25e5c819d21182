// The camera face over DirectShow: the list of video capture devices and the
// frame handshake between DirectShow's frame thread and the main thread.
//
// Handshake word: 0 idle, 1 a frame is wanted, 3 the callback is copying,
// 2 a frame is ready.  The frame thread copies only after winning 1 -> 3 and
// publishes with 2; the main thread reads the pixels only in state 2.

#include <atomic>
#include <cstdio>
#include <cstring>

#include "gui/backend/controls_win32.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <ocidl.h>
#include <strmif.h>

namespace qor::gui::win32 {

struct FrameReceiver {
    int32_t width = 0, height = 0;
    HWND window = nullptr;
    std::vector<uint8_t> pixels;
    std::atomic<int32_t> word{0};
};

namespace {

// Declared here so that the build needs no DirectShow import library.
const GUID SYSTEM_DEVICE_ENUM = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID VIDEO_INPUT_CATEGORY = {0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID ICREATEDEVENUM = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID IPROPERTYBAG = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

constexpr size_t MAX_DEVICES = 8;
constexpr UINT FRAME_MESSAGE = WM_USER + 1;

std::string narrow(const wchar_t* s) {
    std::u16string u;
    for (; s && *s; ++s) u += char16_t(*s);
    return dialogs::utf8(u);
}

}  // namespace

int32_t camera_devices(std::vector<std::string>* names) {
    names->clear();
    ICreateDevEnum* devices = nullptr;
    if (FAILED(CoCreateInstance(SYSTEM_DEVICE_ENUM, nullptr, CLSCTX_INPROC_SERVER, ICREATEDEVENUM,
                                reinterpret_cast<void**>(&devices)))) {
        std::fputs("Error Creating Device Enumerator\n", stdout);
        return 0;
    }
    IEnumMoniker* monikers = nullptr;
    if (devices->CreateClassEnumerator(VIDEO_INPUT_CATEGORY, &monikers, 0) != S_OK || !monikers) {
        std::fputs("No video capture hardware\n", stdout);
        devices->Release();
        return 0;
    }
    IMoniker* moniker = nullptr;
    while (names->size() < MAX_DEVICES && monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IPROPERTYBAG, reinterpret_cast<void**>(&bag)))) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
                names->push_back(narrow(name.bstrVal));
            VariantClear(&name);
            bag->Release();
        }
        moniker->Release();
    }
    monikers->Release();
    devices->Release();
    return int32_t(names->size());
}

FrameReceiver* make_receiver(uint32_t hwnd, int32_t width, int32_t height) {
    auto* r = new FrameReceiver;
    r->window = reinterpret_cast<HWND>(static_cast<uintptr_t>(hwnd));
    r->width = width;
    r->height = height;
    r->pixels.assign(size_t(width) * size_t(height) * 4, 0);
    return r;
}

void free_receiver(FrameReceiver* r) { delete r; }

void receive_frame(FrameReceiver* r, const uint8_t* buffer, int32_t length) {
    int32_t wanted = 1;
    if (!r || !r->word.compare_exchange_strong(wanted, 3)) return;   // nobody asked: the frame is dropped
    size_t n = std::min(size_t(length < 0 ? 0 : length), r->pixels.size());
    std::memcpy(r->pixels.data(), buffer, n);
    r->word.store(2, std::memory_order_seq_cst);
    PostMessageW(r->window, FRAME_MESSAGE, 0, 0);
}

bool snapshot(FrameReceiver* r, std::vector<uint8_t>* pixels, int32_t* width, int32_t* height) {
    if (!r) return false;
    r->word.store(1, std::memory_order_seq_cst);
    double elapsed = 0;
    while (r->word.load() != 2 && elapsed <= 3.0) {
        Sleep(10);
        elapsed += 0.01;
    }
    int32_t wanted = 1;
    if (!r->word.compare_exchange_strong(wanted, 0))
        while (r->word.load() == 3) Sleep(1);   // the copy is under way
    bool ready = r->word.load() == 2;
    if (ready) {
        *pixels = r->pixels;
        *width = r->width;
        *height = r->height;
    }
    r->word.store(0, std::memory_order_seq_cst);
    return ready;
}

bool take_ready_frame(FrameReceiver* r, std::vector<uint8_t>* pixels) {
    if (!r) return false;
    bool ready = r->word.load() == 2;
    if (ready) *pixels = r->pixels;
    r->word.store(0, std::memory_order_seq_cst);
    return ready;
}

}  // namespace qor::gui::win32
