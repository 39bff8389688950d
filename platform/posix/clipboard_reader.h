#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/emptying_order.h"
#include "core/picture.h"
#include "core/program_identity.h"
#include "core/services.h"
#include "pictures/picture_formats.h"

namespace zanthrel::posix {

// What the reader learnt about one change of the clipboard.
struct ClipboardDelivery {
    enum class Kind {
        NoPicture,  // no owner, or nothing offered as a picture
        Data,       // the data of a picture: the bytes when kept, their digest always
        Refused,    // the owner offered a picture, then refused it or sent more than is ever accepted
        Silent,     // the owner did not answer within its deadline
    };
    std::uint64_t serial = 0;
    Kind kind = Kind::NoPicture;
    std::vector<unsigned char> bytes;
    bool kept = false;
    PictureDigest digest;
    // For Data: the format the bytes are in, as the reader asked for them (or made them); null when unknown.
    const PictureFormat* format = nullptr;
};

// A reader of the system clipboard on a thread of its own (X11 selections, or a Wayland compositor's
// data-control protocol), so that no other program can make the user interface wait.
class ClipboardReader {
public:
    struct Listener {
        // All are called on the reader's thread, in the order things happened. `change.taken`: some
        // program took the clipboard; false when it was left without an owner (emptied, or its owner went
        // away). `change.emptied`: the reader has already emptied it under the standing order, or will
        // at the fight's next turn (see setEmptyingOrder).
        std::function<void(std::uint64_t serial, ClipboardChange change)> changed;
        std::function<void(ClipboardDelivery)> delivered;
        // For readers that can tell: whether the last empty() emptied the clipboard.
        std::function<void(bool done)> emptied;
        // The reader can no longer see the clipboard (its connection or the compositor's service ended).
        std::function<void()> lost;
        // After `changed`, for readers that can tell: the program that took the clipboard in that change.
        std::function<void(std::uint64_t serial, ProgramIdentity owner)> ownerNamed;
        // A program takes a selection back after every emptying: its changes are emptied at the order's
        // pace from now on. Once per fight.
        std::function<void()> contested;
    };

    virtual ~ClipboardReader() = default;

    // Asks for the data of the newest change; `delivered` answers once it is known. Any thread.
    virtual void request() = 0;
    // Empties the clipboard it watches without waiting; `emptied` tells how it went, where the reader
    // can tell. Any thread.
    virtual void empty() = 0;
    // While `order` is active, the reader empties every change another program makes on its own thread,
    // the moment it hears of it, and then reports it as emptied; the PRIMARY selection too, where the
    // desktop has one, though its changes are not reported. Once a withdrawal (an inactive order) has
    // returned, no further emptying starts. Any thread.
    virtual void setEmptyingOrder(const EmptyingOrder& order) = 0;
    // Whether empty() also empties the X11 CLIPBOARD selection; a compositor's own clipboard service
    // leaves that one to the caller (sway does not carry an emptying back to X11 programs).
    virtual bool emptiesX11Selection() const noexcept { return false; }
    virtual bool watchesChanges() const noexcept = 0;
    // Whether ownerNamed follows every change that a program took.
    virtual bool namesOwners() const noexcept { return false; }
    // How many transfers were started, and how many emptyings the reader carried out itself.
    virtual std::uint64_t fetchCount() const noexcept = 0;
    virtual std::uint64_t emptyingCount() const noexcept { return 0; }
};

}  // namespace zanthrel::posix
