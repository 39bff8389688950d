#include "platform/x11/x11_atom_names.h"

#include <xcb/xcb.h>

#include <unordered_set>

#include "pictures/picture_formats.h"
#include "platform/x11/xcb_handles.h"

namespace zanthrel::x11 {

AtomNames::Listed AtomNames::name(std::span<const std::uint32_t> atoms) {
    std::vector<std::uint32_t> distinct;
    std::unordered_set<std::uint32_t> seen;
    for (const std::uint32_t atom : atoms)
        if (atom != XCB_NONE && seen.insert(atom).second) distinct.push_back(atom);

    const auto unknown = [&] {
        std::vector<std::uint32_t> missing;
        for (const std::uint32_t atom : distinct) {
            if (missing.size() == kMostLookedUpPerList) break;
            if (!known_.contains(atom)) missing.push_back(atom);
        }
        return missing;
    };
    std::vector<std::uint32_t> missing = unknown();
    if (known_.size() + missing.size() > kMostRemembered) {
        known_.clear();
        missing = unknown();
    }
    // All questions first, then all answers: one round trip for the whole list.
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    cookies.reserve(missing.size());
    for (const std::uint32_t atom : missing) cookies.push_back(xcb_get_atom_name(connection_, atom));
    for (std::size_t i = 0; i < missing.size(); ++i) {
        ReplyPtr<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(connection_, cookies[i], nullptr));
        if (!reply) continue;
        const auto length = static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get()));
        // A name longer than any format's is no picture; only that much is remembered of it.
        known_[missing[i]] =
            length > kLongestFormatName ? std::string() : std::string(xcb_get_atom_name_name(reply.get()), length);
    }

    Listed listed;
    for (const std::uint32_t atom : distinct) {
        const auto found = known_.find(atom);
        if (found == known_.end()) {
            ++listed.unnamed;
            continue;
        }
        listed.atoms.push_back(atom);
        listed.names.push_back(found->second);
    }
    return listed;
}

}  // namespace zanthrel::x11
