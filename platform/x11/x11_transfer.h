#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace zanthrel::x11 {

// The atoms of a TARGETS answer. Only a list of 32-bit items is one; another item size or a length that
// is not a whole number of items gives an empty list.
std::vector<std::uint32_t> parseAtomList(std::uint8_t format, const void* data, std::size_t bytes);

// The size an INCR announcement promises (a lower bound, by convention), or nothing when the value is not
// one 32-bit item (some owners send none).
std::optional<std::uint32_t> parseIncrAnnouncement(std::uint8_t format, const void* data, std::size_t bytes);

}  // namespace zanthrel::x11
