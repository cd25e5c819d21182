// The image codecs of qor.exe: the Windows Imaging Component.  One imaging
// factory is made on first use and kept for the run.  Decoding takes the
// first frame converted to 32bppBGRA; encoding writes one frame of the
// image's pixels, which the encoder converts to what its format holds.
#include "services/image_codecs.hpp"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objidl.h>
#include <wincodec.h>

namespace qor::image_codecs {

using image_backend::Bitmap;

namespace {

template <typename T>
struct Com {
    T* p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
    T** out() { return &p; }
    T*  operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

IWICImagingFactory* factory() {
    static IWICImagingFactory* made = nullptr;
    if (!made)
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                         reinterpret_cast<void**>(&made));
    return made;
}

const GUID* container_of(int32_t format) {
    switch (format) {
    case image_backend::FORMAT_BMP: return &GUID_ContainerFormatBmp;
    case image_backend::FORMAT_PNG: return &GUID_ContainerFormatPng;
    case image_backend::FORMAT_GIF: return &GUID_ContainerFormatGif;
    case image_backend::FORMAT_JPEG: return &GUID_ContainerFormatJpeg;
    case image_backend::FORMAT_TIFF: return &GUID_ContainerFormatTiff;
    default: return nullptr;
    }
}

}  // namespace

Bitmap* decode(const uint8_t* bytes, uint32_t length, std::string* reason) {
    IWICImagingFactory* f = factory();
    if (!f) {
        if (reason) *reason = "no imaging factory";
        return nullptr;
    }
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    Com<IWICBitmapSource> converted;
    UINT w = 0, h = 0;
    if (FAILED(f->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes), length)) ||
        FAILED(f->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, decoder.out())) ||
        FAILED(decoder->GetFrame(0, frame.out())) ||
        FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.p, converted.out())) ||
        FAILED(converted->GetSize(&w, &h))) {
        if (reason) *reason = "cannot decode";
        return nullptr;
    }
    Bitmap* b = image_backend::alloc_bitmap(w, h);
    if (!b) {
        if (reason) *reason = "too large";
        return nullptr;
    }
    if (FAILED(converted->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(b->pixels())))) {
        image_backend::discard(b);
        if (reason) *reason = "cannot decode";
        return nullptr;
    }
    return b;
}

bool encode(Bitmap* b, int32_t format, std::vector<uint8_t>* out) {
    IWICImagingFactory* f = factory();
    const GUID* container = container_of(format);
    if (!f || !container) return false;
    Com<IStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    Com<IWICBitmap> source;
    WICPixelFormatGUID pixel_format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.out())) ||
        FAILED(f->CreateEncoder(*container, nullptr, encoder.out())) ||
        FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.out(), options.out())) || FAILED(frame->Initialize(options.p)) ||
        FAILED(frame->SetSize(b->width, b->height)) || FAILED(frame->SetPixelFormat(&pixel_format)) ||
        FAILED(f->CreateBitmapFromMemory(b->width, b->height, GUID_WICPixelFormat32bppBGRA, b->width * 4,
                                         b->count() * 4, reinterpret_cast<BYTE*>(b->pixels()), source.out())) ||
        FAILED(frame->WriteSource(source.p, nullptr)) || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return false;
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.p, &memory))) return false;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
    const uint8_t* data = static_cast<const uint8_t*>(GlobalLock(memory));
    if (!data) return false;
    out->assign(data, data + size_t(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
}

}  // namespace qor::image_codecs
