#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zanthrel {

// A dynamic array of signed 32-bit pixels with indices 0..upperBound, or no storage at all.
// Storage comes zero-filled from the allocator's demand-zero pages, so a 50 MB buffer of which a
// picture fills a corner costs only the pages the picture touches.
class PixelBuffer {
public:
    bool hasStorage() const noexcept { return allocated_; }
    std::int64_t upperBound() const noexcept { return upper_; }
    std::size_t size() const noexcept { return allocated_ && upper_ >= 0 ? static_cast<std::size_t>(upper_) + 1 : 0; }

    std::int32_t* data() noexcept { return data_.get(); }
    const std::int32_t* data() const noexcept { return data_.get(); }

    // Discards previous content and makes indices 0..upperBound, all zero. An upper bound below 0
    // gives a buffer with no element 0. Throws RuntimeError(OutOfMemory) and keeps the previous
    // content when the storage cannot be had.
    void recreate(std::int64_t upperBound);
    void free() noexcept;

private:
    struct FreeDeleter {
        void operator()(std::int32_t* p) const noexcept;
    };
    std::unique_ptr<std::int32_t, FreeDeleter> data_;
    std::int64_t upper_ = -1;
    bool allocated_ = false;
};

}  // namespace zanthrel
