#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "core/picture.h"
#include "platform/posix/clipboard_reader.h"

namespace zanthrel::qt {

// What the clipboard held after one change, ready for the sampling tick.
struct ClipboardAnswer {
    std::uint64_t serial = 0;
    posix::ClipboardDelivery::Kind kind = posix::ClipboardDelivery::Kind::NoPicture;
    PictureRef picture;  // for Data, never null
};

// Turns deliveries into pictures on a thread of its own: decoding a large picture takes long enough to
// be felt in the window. Deliveries are handled in order; one still waiting is dropped for a newer one.
// Data identical to the previous picture's (the same digest) give back that very picture, undecoded.
class PictureDecoder {
public:
    // `done` runs on the decoder's thread.
    explicit PictureDecoder(std::function<void(ClipboardAnswer)> done);
    ~PictureDecoder();
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    void submit(posix::ClipboardDelivery delivery);
    // How many deliveries were decoded, rather than recognised as the previous picture.
    std::uint64_t decodeCount() const;

private:
    void run();
    ClipboardAnswer answer(posix::ClipboardDelivery delivery);

    std::function<void(ClipboardAnswer)> done_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<posix::ClipboardDelivery> waiting_;
    bool stopping_ = false;
    std::uint64_t decodes_ = 0;
    // Decoder thread only.
    PictureRef previous_;
    std::thread thread_;
};

}  // namespace zanthrel::qt
