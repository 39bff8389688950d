#pragma once

#include <windows.h>

#include <memory>

#include "core/picture.h"

namespace zanthrel::win32 {

class WicDecoder;

// The picture on the clipboard, read by the clipboard agent's thread while it holds the clipboard open.
// Of the formats the owner offers, the best picture by the one table of formats
// (pictures/picture_formats.h) is read, and that one alone: one picture offered in several formats is
// one picture. A DIB is decoded by portable code; a picture file (PNG, JPEG, GIF, TIFF, WebP) by the
// Windows Imaging Component once its header was found within the bounds (pictures/picture_file.h); a
// bitmap is copied through GDI. Any other picture (a metafile, a file no decoder here reads, a corrupt
// one, one beyond the bounds) is known by the digest of its bytes, so that it still counts once. The
// same bytes as the last picture give that very picture again, without decoding.
//
// A format the system would have to make from another is never asked for: CF_BITMAP only when no DIB
// is offered, or when the owner offered its bitmap first and then did not render its DIB, so that the
// system never converts a malformed DIB for us.
class ClipboardPictures {
public:
    ClipboardPictures();
    ~ClipboardPictures();
    ClipboardPictures(const ClipboardPictures&) = delete;
    ClipboardPictures& operator=(const ClipboardPictures&) = delete;

    // The picture on the clipboard this thread holds open; null when it holds none. Throws
    // RuntimeError for a bitmap GDI cannot copy, and what allocation throws.
    PictureRef readOpenClipboard();

private:
    PictureRef fromDib(HANDLE block);
    PictureRef fromFile(HANDLE block);
    PictureRef fromEnhancedMetafile(HENHMETAFILE metafile);
    PictureRef fromMetafilePicture(HANDLE block);
    // The last picture when `digest` is the last one's, else `make`'s, kept as the last.
    template <typename Make>
    PictureRef remembered(PictureDigest digest, Make&& make);

    PictureDigest lastDigest_;
    std::weak_ptr<const Picture> lastPicture_;
    std::unique_ptr<WicDecoder> decoder_;
};

}  // namespace zanthrel::win32
