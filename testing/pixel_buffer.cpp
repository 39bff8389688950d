#include "testing/pixel_buffer.h"

#include <cstdlib>
#include <limits>

#include "core/runtime_error.h"

namespace zanthrel {

void PixelBuffer::FreeDeleter::operator()(std::int32_t* p) const noexcept {
    std::free(p);
}

void PixelBuffer::recreate(std::int64_t upperBound) {
    std::int32_t* fresh = nullptr;
    if (upperBound >= 0) {
        const auto count = static_cast<std::uint64_t>(upperBound) + 1;
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(std::int32_t))
            throw RuntimeError(ErrorKind::OutOfMemory, "Out of memory");
        // calloc rather than new[]: large blocks come straight from the system already zeroed, so the
        // zero fill costs nothing until a page is first written.
        fresh = static_cast<std::int32_t*>(std::calloc(static_cast<std::size_t>(count), sizeof(std::int32_t)));
        if (!fresh) throw RuntimeError(ErrorKind::OutOfMemory, "Out of memory");
    }
    data_.reset(fresh);
    upper_ = upperBound;
    allocated_ = true;
}

void PixelBuffer::free() noexcept {
    data_.reset();
    upper_ = -1;
    allocated_ = false;
}

}  // namespace zanthrel
