#include "platform/qt/picture_decoder.h"

#include "platform/qt/qt_picture.h"

namespace zanthrel::qt {

PictureDecoder::PictureDecoder(std::function<void(ClipboardAnswer)> done)
    : done_(std::move(done)), thread_([this] { run(); }) {}

PictureDecoder::~PictureDecoder() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PictureDecoder::submit(posix::ClipboardDelivery delivery) {
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(delivery);
    }
    wake_.notify_one();
}

std::uint64_t PictureDecoder::decodeCount() const {
    const std::lock_guard lock(mutex_);
    return decodes_;
}

void PictureDecoder::run() {
    for (;;) {
        posix::ClipboardDelivery delivery;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
            if (stopping_) return;
            delivery = std::move(*waiting_);
            waiting_.reset();
        }
        ClipboardAnswer made = answer(std::move(delivery));
        if (done_) done_(std::move(made));
    }
}

ClipboardAnswer PictureDecoder::answer(posix::ClipboardDelivery delivery) {
    ClipboardAnswer made{delivery.serial, delivery.kind, nullptr};
    if (delivery.kind != posix::ClipboardDelivery::Kind::Data) {
        // Whatever replaced the picture, its memory is not kept for a return that may never come.
        if (delivery.kind == posix::ClipboardDelivery::Kind::NoPicture) previous_.reset();
        return made;
    }
    if (previous_ && previous_->digest() == delivery.digest) {
        made.picture = previous_;
        return made;
    }
    previous_.reset();  // before decoding: two large pictures need not be held at once
    made.picture = decodeDeliveredPicture(delivery.bytes, delivery.kept, delivery.digest, delivery.format);
    {
        const std::lock_guard lock(mutex_);
        ++decodes_;
    }
    previous_ = made.picture;
    return made;
}

}  // namespace zanthrel::qt
