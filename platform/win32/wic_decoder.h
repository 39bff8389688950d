#pragma once

#include <wincodec.h>
#include <windows.h>

#include <cstddef>
#include <optional>

#include "core/picture.h"
#include "pictures/picture_file.h"
#include "platform/win32/com_ref.h"

namespace zanthrel::win32 {

// Decodes picture files with the Windows Imaging Component into pictures of ours, laid out as those
// decoded from a DIB. COM and the imaging factory are made on the first decoding, on the thread that
// decodes, and kept for the next. Only files that inspectPictureFile() found within the bounds may be
// given: the decoders themselves are not all safe against hostile headers.
class WicDecoder {
public:
    WicDecoder() noexcept = default;
    WicDecoder(const WicDecoder&) = delete;
    WicDecoder& operator=(const WicDecoder&) = delete;

    // The first frame of a file of `kind` (PNG, JPEG, GIF, TIFF, WebP) taking `size` bytes, whose digest
    // is `digest`. Null when the system has no decoder for the kind, the file does not decode, or its
    // frame is beyond the memory bound after all.
    PictureRef decode(PictureFileKind kind, const void* file, std::size_t size, PictureDigest digest);

private:
    bool ready();

    std::optional<ComApartment> apartment_;  // first member, so the last to go
    ComRef<IWICImagingFactory> factory_;
    bool unavailable_ = false;  // the factory could not be made; it will not be tried again
};

}  // namespace zanthrel::win32
