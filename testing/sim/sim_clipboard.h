#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/picture.h"
#include "core/services.h"

namespace zanthrel::sim {

class SimClipboard;

// One program on the simulated desktop. Several share the clipboard; while one holds it open, the
// others can neither read nor empty it.
class SimProgram {
public:
    SimProgram(SimClipboard& clipboard, std::string name) : clipboard_(clipboard), name_(std::move(name)) {}

    const std::string& name() const noexcept { return name_; }
    bool open();  // false while another program holds the clipboard
    void close();
    bool holding() const;
    // Empties the clipboard and puts the data on it, as a copy command does: opens the clipboard and closes
    // it again, unless the program was already holding it open.
    bool copyText(std::string text);
    bool copyPicture(PictureRef picture);
    bool copyTextAndPicture(std::string text, PictureRef picture);

private:
    SimClipboard& clipboard_;
    std::string name_;
};

// The desktop's single clipboard.
class SimClipboard {
public:
    std::optional<std::string> text() const { return text_; }
    PictureRef picture() const { return picture_; }
    bool empty() const { return !text_ && !picture_; }
    const SimProgram* heldBy() const noexcept { return holder_; }
    // Told of every change of content once the program that made it has closed the clipboard: `taken` when
    // something was put on it, false when it was emptied.
    void setChangeListener(std::function<void(bool taken)> listener) { onChange_ = std::move(listener); }

private:
    friend class SimProgram;
    friend class SimClipboardService;
    bool tryOpen(const SimProgram* program);
    void release(const SimProgram* program);
    void setContent(std::optional<std::string> text, PictureRef picture);

    std::optional<std::string> text_;
    PictureRef picture_;
    const SimProgram* holder_ = nullptr;
    std::function<void(bool)> onChange_;
    bool noticeOwed_ = false;
};

// The clipboard as our program sees it: reads fail while another program holds it open, and an
// unchanged clipboard hands back the very picture object it handed out before.
class SimClipboardService final : public Clipboard {
public:
    explicit SimClipboardService(SimClipboard& clipboard) : clipboard_(clipboard), self_(clipboard, "Zanthrel") {}

    PictureRef readPicture() override;
    void clear() override;
    std::uint64_t reads() const noexcept { return reads_; }
    // While set, the answer to the clipboard's latest change is on its way: reads give the last answer
    // there was, and fail only when there was none yet.
    void setAnswerPending(bool pending) noexcept { answerPending_ = pending; }
    // Whether this service reports every change to the guard, as the desktops' own services do; only then
    // may it say the clipboard is at rest. Off by default, so that the clock ticks on every millisecond.
    void setReportsChanges(bool reports) noexcept { reportsChanges_ = reports; }
    bool reportsChanges() const noexcept { return reportsChanges_; }
    bool atRest(const PictureRef& held) const noexcept override;

    void setEmptyingOrder(const EmptyingOrder& order) override;
    const EmptyingOrder& emptyingOrder() const noexcept { return order_; }
    // Another program took the clipboard at `now`: empties it at once where the standing order says so.
    // A fight is left to the blocking clock's ticks, which come at the order's pace.
    struct OrderFollowed {
        bool emptied = false;
        bool fightBegan = false;
    };
    OrderFollowed followOrder(EmptyingPace::Clock::time_point now);
    // How many emptyings the standing order caused.
    std::uint64_t emptyingsUnderOrder() const noexcept { return emptyingsUnderOrder_; }

private:
    EmptyingOrder order_;
    EmptyingPace pace_;
    std::uint64_t emptyingsUnderOrder_ = 0;
    bool answerPending_ = false;
    bool reportsChanges_ = false;
    std::optional<PictureRef> lastAnswer_;
    SimClipboard& clipboard_;
    SimProgram self_;
    std::uint64_t reads_ = 0;
};

}  // namespace zanthrel::sim
