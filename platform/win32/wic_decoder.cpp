#include "platform/win32/wic_decoder.h"

#include <cstdint>
#include <limits>

#include "platform/win32/win32_picture.h"

namespace zanthrel::win32 {
namespace {

const GUID* containerOf(PictureFileKind kind) noexcept {
    switch (kind) {
        case PictureFileKind::Png: return &GUID_ContainerFormatPng;
        case PictureFileKind::Jpeg: return &GUID_ContainerFormatJpeg;
        case PictureFileKind::Gif: return &GUID_ContainerFormatGif;
        case PictureFileKind::Tiff: return &GUID_ContainerFormatTiff;
        case PictureFileKind::Webp: return &GUID_ContainerFormatWebp;
        default: return nullptr;
    }
}

}  // namespace

bool WicDecoder::ready() {
    if (factory_) return true;
    if (unavailable_) return false;
    if (!apartment_) apartment_.emplace();
    unavailable_ =
        !apartment_->usable() || FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                         IID_IWICImagingFactory, factory_.putVoid()));
    return !unavailable_;
}

PictureRef WicDecoder::decode(PictureFileKind kind, const void* file, std::size_t size, PictureDigest digest) {
    const GUID* container = containerOf(kind);
    if (!container || !file || size == 0 || size > std::numeric_limits<DWORD>::max() || !ready()) return nullptr;
    // The stream reads the block in place, without a copy.
    ComRef<IWICStream> stream;
    if (FAILED(factory_->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(file)), static_cast<DWORD>(size))))
        return nullptr;
    // A decoder of the kind whose header was checked, never one the system would choose by guessing
    // from the bytes: only that kind's bounds are known to hold.
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    if (FAILED(factory_->CreateDecoder(*container, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.put())))
        return nullptr;
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
        std::uint64_t{width} * height > kMaxDecodedPixels)
        return nullptr;
    ComRef<IWICFormatConverter> converter;
    if (FAILED(factory_->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;
    const UINT stride = width * 4;
    return Win32Picture::fromTopDownRows(
        static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), digest, [&](std::uint32_t* rows) {
            return SUCCEEDED(converter->CopyPixels(nullptr, stride, stride * height, reinterpret_cast<BYTE*>(rows)));
        });
}

}  // namespace zanthrel::win32
