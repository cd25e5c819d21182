// The camera face over DirectShow: the list of video capture devices, the
// capture graph of the chosen device (source -> sample grabber -> preview
// renderer, its video window inside the camera window) and the frame
// handshake between DirectShow's frame thread and the main thread.
//
// Handshake word: 0 idle, 1 a frame is wanted, 3 the callback is copying,
// 2 a frame is ready.  The frame thread copies only after winning 1 -> 3 and
// publishes with 2; the main thread reads the pixels only in state 2.

#include <atomic>
#include <cstdio>
#include <cstring>

#include "gui/backend/win32_backend.hpp"
#include "gui/backend/controls_win32.hpp"
#include "gui/backend/faces_backend.hpp"

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/image_backend.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/raise_seam.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "gui/box_geometry.hpp"
#include "gui/controls.hpp"
#include "gui/face_slots.hpp"
#include "runtime/collector.hpp"

// windows.h after the project headers: its message macros would hide their constants.
#include <windows.h>
#include <ocidl.h>
#include <strmif.h>
#include <control.h>
#include <amvideo.h>
#include <qedit.h>

namespace qor::gui::win32 {

namespace {

// Declared here so that the build needs no DirectShow import library.
const GUID SYSTEM_DEVICE_ENUM = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID VIDEO_INPUT_CATEGORY = {0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID ICREATEDEVENUM = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const GUID IPROPERTYBAG = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
const GUID CAPTURE_GRAPH_BUILDER2 = {0xBF87B6E1, 0x8C27, 0x11D0, {0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5}};
const GUID ICAPTUREGRAPHBUILDER2 = {0x93E5A4E0, 0x2D50, 0x11D2, {0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D}};
const GUID FILTER_GRAPH = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IGRAPHBUILDER = {0x56A868A9, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IBASEFILTER = {0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID SAMPLE_GRABBER = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
const GUID ISAMPLEGRABBER = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
const GUID ISAMPLEGRABBERCB = {0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
const GUID IMEDIACONTROL = {0x56A868B1, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IVIDEOWINDOW = {0x56A868B4, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID IUNKNOWN = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID MEDIATYPE_VIDEO = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIATYPE_INTERLEAVED = {0x73766169, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID MEDIASUBTYPE_RGB32_ = {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
const GUID FORMAT_VIDEOINFO = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const GUID PIN_CATEGORY_PREVIEW_ = {0xFB6C4282, 0x0353, 0x11D1, {0x90, 0x5F, 0x00, 0x00, 0xC0, 0xCC, 0x16, 0xBA}};

// The automation booleans of IVideoWindow (OATRUE and OAFALSE of the SDK).
constexpr long VIDEO_TRUE = -1, VIDEO_FALSE = 0;

constexpr size_t MAX_DEVICES = 8;
constexpr UINT FRAME_MESSAGE = WM_USER + 1;
constexpr LONG BUFFER_CALLBACK = 1;   // SetCallback: BufferCB, not SampleCB
// Frame sizes above this are refused rather than allocated.
constexpr int32_t MAX_FRAME_SIDE = 16384;

std::string narrow(const wchar_t* s) {
    std::u16string u;
    for (; s && *s; ++s) u += char16_t(*s);
    return dialogs::utf8(u);
}

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The aspect ratio of the last graph's frames (width / height), 0 until
// one is built.
double g_aspect = 0;

}  // namespace

struct FrameReceiver;

// The sample grabber's callback.  Its owner (the camera record) keeps it
// alive until the graph is stopped and released, so the counts are fixed.
// DirectShow calls it on its own thread: nothing here may touch the
// interpreter, and no exception may leave it.
class FrameCallback final : public ISampleGrabberCB {
public:
    explicit FrameCallback(FrameReceiver* r) : receiver_(r) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        // Only the interfaces it has: answering any other with itself would
        // let a caller use it through a table it does not have.
        if (IsEqualGUID(iid, IUNKNOWN) || IsEqualGUID(iid, ISAMPLEGRABBERCB)) {
            *out = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return 0; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, LONG length) override;

private:
    FrameReceiver* receiver_;
};

struct FrameReceiver {
    int32_t width = 0, height = 0;
    HWND window = nullptr;
    std::vector<uint8_t> pixels;
    std::atomic<int32_t> word{0};
    FrameCallback callback{this};
};

HRESULT STDMETHODCALLTYPE FrameCallback::BufferCB(double, BYTE* buffer, LONG length) {
    // A plain catch, not the window procedures' barrier: that one restores
    // the interpreter's stack, which belongs to the main thread.
    try {
        if (buffer) receive_frame(receiver_, buffer, int32_t(length));
    } catch (...) {
    }
    return 0;
}

namespace {

// One per camera window, in its auxiliary slot.
struct Camera {
    ICaptureGraphBuilder2* builder = nullptr;
    IGraphBuilder*         graph = nullptr;
    IBaseFilter*           source = nullptr;
    IBaseFilter*           grabber_filter = nullptr;
    ISampleGrabber*        grabber = nullptr;
    FrameReceiver*         receiver = nullptr;
    IVideoWindow*          video = nullptr;
    IMoniker*              monikers[MAX_DEVICES] = {};
    int32_t                count = 0;
    bool                   running = false;
    // The frame a capture took between its size query and its pixel copy.
    std::vector<uint8_t>   still;
    int32_t                still_width = 0, still_height = 0;
};

Camera* camera_of(HWND hwnd) {
    LONG v = slot(hwnd, SLOT_AUX);
    return v == 0 || v == -1 ? nullptr : reinterpret_cast<Camera*>(static_cast<uintptr_t>(uint32_t(v)));
}

// The device names; with `keep`, their monikers too (the caller releases them).
int32_t enumerate(std::vector<std::string>* names, IMoniker** keep) {
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
        bool named = false;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IPROPERTYBAG, reinterpret_cast<void**>(&bag)))) {
            VARIANT name;
            VariantInit(&name);
            if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
                names->push_back(narrow(name.bstrVal));
                named = true;
            }
            VariantClear(&name);
            bag->Release();
        }
        if (named && keep) keep[names->size() - 1] = moniker;
        else moniker->Release();
    }
    monikers->Release();
    devices->Release();
    return int32_t(names->size());
}

// The field of an object by name, writable, or null.
Cell* object_field(const Cell* object, const char* name) {
    if (!object || type_of(object) != TYPE_OBJECT || !object->data1) return nullptr;
    int32_t sym = symbol::find(name, true);
    return sym > 0 ? context::value_by_symbol(sym, reinterpret_cast<Node>(object->data1)) : nullptr;
}

// A float! `ratio` of the face receives the frames' aspect ratio.
void note_ratio(const Cell* face) {
    if (Cell* ratio = object_field(face, "ratio"); ratio && type_of(ratio) == TYPE_FLOAT) *ratio = float_::make(g_aspect);
}

// A frame (32-bit RGB, bottom-up rows) as top-down opaque image pixels.
void frame_pixels(const std::vector<uint8_t>& frame, int32_t width, int32_t height, uint32_t* out) {
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = frame.data() + size_t(height - 1 - y) * size_t(width) * 4;
        for (int32_t x = 0; x < width; ++x) {
            uint32_t p;
            std::memcpy(&p, row + size_t(x) * 4, 4);
            out[size_t(y) * size_t(width) + size_t(x)] = p | 0xFF000000u;   // the fourth byte is padding
        }
    }
}

// The frame as a new image!, or none.
Cell frame_image(const std::vector<uint8_t>& frame, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || frame.size() < size_t(width) * size_t(height) * 4) return Cell{TYPE_NONE, 0, 0, 0};
    image_backend::Bitmap* bitmap = image_backend::alloc_bitmap(uint32_t(width), uint32_t(height));
    if (!bitmap) return Cell{TYPE_NONE, 0, 0, 0};
    frame_pixels(frame, width, height, bitmap->pixels());
    return image_backend::adopt(bitmap);
}

// The video window placed in the middle of the camera's client area with
// its frames' shape.
void place_video(HWND hwnd, Camera* cam) {
    if (!cam || !cam->video) return;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    int32_t fw = cam->receiver ? cam->receiver->width : 0, fh = cam->receiver ? cam->receiver->height : 0;
    box_geometry::Box b = box_geometry::letterbox(rc.right, rc.bottom, fw, fh);
    cam->video->SetWindowPosition(b.left, b.top, b.right - b.left, b.bottom - b.top);
}

void run(Camera* cam, bool start) {
    if (!cam || !cam->graph) return;
    IMediaControl* control = nullptr;
    if (FAILED(cam->graph->QueryInterface(IMEDIACONTROL, reinterpret_cast<void**>(&control))) || !control) return;
    if (start) {
        cam->running = SUCCEEDED(control->Run());
        if (!cam->running) control->Stop();
    } else {
        control->Stop();   // waits for the frame thread to leave the graph
        cam->running = false;
    }
    control->Release();
}

// The graph and everything made for it; the device list stays.
void release_graph(Camera* cam) {
    run(cam, false);
    if (cam->video) {
        cam->video->put_Visible(VIDEO_FALSE);
        cam->video->put_Owner(0);
    }
    release(cam->video);
    if (cam->grabber) cam->grabber->SetCallback(nullptr, BUFFER_CALLBACK);
    release(cam->grabber);
    release(cam->grabber_filter);
    release(cam->source);
    release(cam->graph);
    release(cam->builder);
    // Only now: the graph is stopped and gone, so no frame thread is inside the callback.
    if (cam->receiver) free_receiver(cam->receiver);
    cam->receiver = nullptr;
}

bool build_graph(Camera* cam, int32_t device) {
    if (FAILED(CoCreateInstance(CAPTURE_GRAPH_BUILDER2, nullptr, CLSCTX_INPROC_SERVER, ICAPTUREGRAPHBUILDER2,
                                reinterpret_cast<void**>(&cam->builder))) ||
        FAILED(CoCreateInstance(FILTER_GRAPH, nullptr, CLSCTX_INPROC_SERVER, IGRAPHBUILDER,
                                reinterpret_cast<void**>(&cam->graph))))
        return false;
    if (FAILED(cam->builder->SetFiltergraph(cam->graph))) {
        std::fputs("Cannot give graph to builder\n", stdout);
        return false;
    }
    HRESULT hr =
        cam->monikers[device]->BindToObject(nullptr, nullptr, IBASEFILTER, reinterpret_cast<void**>(&cam->source));
    if (SUCCEEDED(hr)) hr = cam->graph->AddFilter(cam->source, L"Video Capture");
    if (FAILED(hr)) {
        std::printf("Error %08lx: Cannot add videocap to filtergraph\n", static_cast<unsigned long>(hr));
        release(cam->source);
        return false;
    }
    if (FAILED(CoCreateInstance(SAMPLE_GRABBER, nullptr, CLSCTX_INPROC_SERVER, IBASEFILTER,
                                reinterpret_cast<void**>(&cam->grabber_filter))) ||
        FAILED(cam->grabber_filter->QueryInterface(ISAMPLEGRABBER, reinterpret_cast<void**>(&cam->grabber))))
        return false;
    AM_MEDIA_TYPE type;
    std::memset(&type, 0, sizeof type);
    type.majortype = MEDIATYPE_VIDEO;
    type.subtype = MEDIASUBTYPE_RGB32_;
    type.formattype = FORMAT_VIDEOINFO;
    cam->grabber->SetMediaType(&type);
    return SUCCEEDED(cam->graph->AddFilter(cam->grabber_filter, L"Sample Grabber"));
}

// The frame size the grabber was connected with; false when it is not a
// video-info format of a usable size.
bool connected_size(ISampleGrabber* grabber, int32_t* width, int32_t* height) {
    AM_MEDIA_TYPE type;
    std::memset(&type, 0, sizeof type);
    if (FAILED(grabber->GetConnectedMediaType(&type))) return false;
    bool ok = false;
    if (IsEqualGUID(type.formattype, FORMAT_VIDEOINFO) && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        int32_t w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
        if (h < 0) h = -h;
        ok = w > 0 && h > 0 && w <= MAX_FRAME_SIDE && h <= MAX_FRAME_SIDE;
        *width = w;
        *height = h;
    }
    if (type.pbFormat) CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
    return ok;
}

bool preview(HWND hwnd, Camera* cam) {
    HRESULT hr = cam->builder->RenderStream(&PIN_CATEGORY_PREVIEW_, &MEDIATYPE_INTERLEAVED, cam->source,
                                            cam->grabber_filter, nullptr);
    if (FAILED(hr))
        hr = cam->builder->RenderStream(&PIN_CATEGORY_PREVIEW_, &MEDIATYPE_VIDEO, cam->source, cam->grabber_filter,
                                        nullptr);
    if (FAILED(hr)) {   // VFW_S_NOPREVIEWPIN is a success code: the capture pin was used
        std::fputs("This device cannot preview!\n", stdout);
        return false;
    }
    int32_t width = 0, height = 0;
    bool ok = connected_size(cam->grabber, &width, &height);
    if (ok) {
        g_aspect = double(width) / double(height);
        cam->receiver = make_receiver(from_hwnd(hwnd), width, height);
        ok = SUCCEEDED(cam->grabber->SetCallback(&cam->receiver->callback, BUFFER_CALLBACK));
    }
    if (ok) ok = SUCCEEDED(cam->graph->QueryInterface(IVIDEOWINDOW, reinterpret_cast<void**>(&cam->video)));
    if (ok) ok = SUCCEEDED(cam->video->put_Owner(reinterpret_cast<OAHWND>(hwnd))) &&
                 SUCCEEDED(cam->video->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    if (ok) {
        place_video(hwnd, cam);
        ok = SUCCEEDED(cam->video->put_Visible(VIDEO_TRUE));
    }
    if (!ok) std::fputs("This graph cannot preview\n", stdout);
    return ok;
}

void free_camera(HWND hwnd) {
    Camera* cam = camera_of(hwnd);
    if (!cam) return;
    set_slot(hwnd, SLOT_AUX, 0);
    release_graph(cam);
    for (IMoniker*& m : cam->monikers) release(m);
    delete cam;
}

}  // namespace

int32_t camera_devices(std::vector<std::string>* names) { return enumerate(names, nullptr); }

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

void camera_create(HWND hwnd, Cell* face) {
    auto* cam = new Camera;
    std::vector<std::string> names;
    cam->count = enumerate(&names, cam->monikers);
    Cell list = block::make(int32_t(names.size()));
    gc::CellRoot keep(&list);
    for (const std::string& name : names) {
        Cell s = string::from_utf8(name.c_str(), name.size());
        block::append_copy(&list, &s);
    }
    if (Cell* data = faces::facet(face, faces::DATA)) *data = list;
    if (cam->count == 0) {
        for (IMoniker*& m : cam->monikers) release(m);
        delete cam;
        set_slot(hwnd, SLOT_AUX, 0);
        return;
    }
    set_slot(hwnd, SLOT_AUX, LONG(reinterpret_cast<uintptr_t>(cam)));
    const Cell* selected = faces::facet(face, faces::SELECTED);
    int32_t device = 0;
    if (!selected || !controls::camera_device(selected, cam->count, &device)) return;   // raises when out of range
    g_aspect = 0;
    if (!camera_select(hwnd, device)) return;
    note_ratio(face);
    run(cam, true);
}

bool camera_select(HWND hwnd, int32_t device) {
    Camera* cam = camera_of(hwnd);
    if (!cam) return false;
    if (device < 0 || device >= cam->count) {
        Cell arg = integer::make(device + 1);
        raise_error("access", "cannot-open", &arg);
    }
    release_graph(cam);
    if (build_graph(cam, device) && preview(hwnd, cam)) return true;
    release_graph(cam);
    return false;
}

void camera_close(HWND hwnd) {
    if (Camera* cam = camera_of(hwnd)) release_graph(cam);
}

void camera_run(HWND hwnd, bool start) { run(camera_of(hwnd), start); }

void camera_snapshot(HWND hwnd, Cell* out) {
    *out = Cell{TYPE_NONE, 0, 0, 0};
    Camera* cam = camera_of(hwnd);
    if (!cam || !cam->receiver) return;
    std::vector<uint8_t> frame;
    int32_t width = 0, height = 0;
    if (snapshot(cam->receiver, &frame, &width, &height)) *out = frame_image(frame, width, height);
}

bool is_camera(uint32_t hwnd) {
    wchar_t name[16];
    HWND h = to_hwnd(hwnd);
    return is_own_window(h) && GetClassNameW(h, name, 16) && lstrcmpW(name, CLASS_CAMERA) == 0;
}

bool camera_frame(uint32_t hwnd, int32_t* width, int32_t* height, uint32_t* pixels) {
    Camera* cam = camera_of(to_hwnd(hwnd));
    if (!cam) return false;
    if (!pixels) {
        // The size query takes the frame; the pixel copy that follows hands it out.
        cam->still.clear();
        if (!cam->receiver || !snapshot(cam->receiver, &cam->still, &cam->still_width, &cam->still_height)) {
            cam->still.clear();
            return false;
        }
        *width = cam->still_width;
        *height = cam->still_height;
        return true;
    }
    bool ok = !cam->still.empty() && *width == cam->still_width && *height == cam->still_height;
    if (ok) frame_pixels(cam->still, *width, *height, pixels);
    cam->still.clear();
    return ok;
}

void camera_selected(uint32_t hwnd, const Cell* face) {
    HWND h = to_hwnd(hwnd);
    Camera* cam = camera_of(h);
    if (!cam) return;
    const Cell* selected = faces::facet(face, faces::SELECTED);
    int32_t device = 0;
    if (!selected || !controls::camera_device(selected, cam->count, &device)) {   // none closes the device
        camera_close(h);
        return;
    }
    if (!camera_select(h, device)) return;
    note_ratio(face);
    run(cam, true);
}

void camera_image(uint32_t hwnd, Cell* face) {
    const Cell* image = faces::facet(face, faces::IMAGE);
    if (!image || type_of(image) != TYPE_NONE) return;
    Cell shot{TYPE_NONE, 0, 0, 0};
    gc::CellRoot keep(&shot);
    camera_snapshot(to_hwnd(hwnd), &shot);
    if (Cell* slot_cell = faces::facet(face, faces::IMAGE)) *slot_cell = shot;
}

bool camera_message(HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    switch (msg) {
    case WM_DESTROY:
        free_camera(hwnd);
        return false;
    case WM_SIZE:
        place_video(hwnd, camera_of(hwnd));
        return false;
    case FRAME_MESSAGE: {
        *result = 0;
        Camera* cam = camera_of(hwnd);
        if (!cam || !cam->receiver) return true;
        Cell* face = faces::of_window(from_hwnd(hwnd));
        const Cell* image = face ? faces::facet(face, faces::IMAGE) : nullptr;
        std::vector<uint8_t> frame;
        if (image && type_of(image) == TYPE_NONE && take_ready_frame(cam->receiver, &frame)) {
            Cell made = frame_image(frame, cam->receiver->width, cam->receiver->height);
            gc::CellRoot keep(&made);
            face = faces::of_window(from_hwnd(hwnd));   // the image's allocation may have moved it
            if (Cell* slot_cell = face ? faces::facet(face, faces::IMAGE) : nullptr) *slot_cell = made;
        } else {
            cam->receiver->word.store(0, std::memory_order_seq_cst);
        }
        return true;
    }
    default:
        return false;
    }
}

}  // namespace qor::gui::win32
