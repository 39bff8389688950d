#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct xcb_connection_t;

namespace zanthrel::x11 {

// The names of the atoms an owner lists as its types, which is what the table of picture formats
// understands. Names are asked of the server, never of the owner, and remembered: an atom keeps its
// name as long as the server runs, and owners list the same few types again and again.
class AtomNames {
public:
    // An owner's list may hold a quarter of a million atoms; honest programs list a few dozen types.
    static constexpr std::size_t kMostLookedUpPerList = 256;
    static constexpr std::size_t kMostRemembered = 4096;

    struct Listed {
        std::vector<std::uint32_t> atoms;
        std::vector<std::string_view> names;  // valid until the next call of name()
        // Atoms of the list left unnamed: past kMostLookedUpPerList, or the server did not answer.
        std::size_t unnamed = 0;
    };

    explicit AtomNames(xcb_connection_t* connection) noexcept : connection_(connection) {}

    // The named atoms of `atoms`, each once, in the order listed.
    Listed name(std::span<const std::uint32_t> atoms);

private:
    xcb_connection_t* connection_;
    std::unordered_map<std::uint32_t, std::string> known_;
};

}  // namespace zanthrel::x11
