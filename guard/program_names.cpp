#include "guard/program_names.h"

#include <algorithm>

#include "core/texts.h"

namespace zanthrel {
namespace {

constexpr std::string_view kIndent = texts::kDetailIndent;

std::string listed(const std::vector<ProgramIdentity>& programs, bool more) {
    std::string text;
    for (const ProgramIdentity& program : programs) {
        if (!text.empty()) text += ", ";
        text += describeProgram(program);
    }
    if (more) text += " and others";
    return text;
}

// A line saying only "an unknown program" tells the user nothing to act on, and where the desktop never
// names anyone (Wayland) it would follow every capture: the unknown are listed only beside the known.
bool named(const ProgramIdentity& program) {
    return program.source != ProgramIdentity::Source::Unknown;
}

}  // namespace

void ProgramNames::clipboardChanged(bool emptied) {
    ownerKnown_ = false;
    emptyingAwaitingOwner_ = 0;
    emptiedBeforeNamed_ = emptied;
}

void ProgramNames::ownerNamed(ProgramIdentity owner, const std::vector<std::string>& lines) {
    ownerKnown_ = true;
    owner_ = std::move(owner);
    if (captureAwaitingOwner_ != 0) {
        remember(copiers_, moreCopiers_, owner_);
        // Once another line came between, the name would sit under the wrong one: the alarm still says it.
        if (captureAwaitingOwner_ == lines.size() && named(owner_)) writeUnder("Copied by " + describeProgram(owner_));
        captureAwaitingOwner_ = 0;
    }
    if (emptiedBeforeNamed_) {
        emptiedBeforeNamed_ = false;
        if (!named(owner_)) return;
        std::string line = std::string(kIndent) + "Emptied what " + describeProgram(owner_) + " had copied";
        // A program copying again and again while blocked is named once for the run, not once per copy.
        if (lines.empty() || lines.back() != line) log_.writeLine(std::move(line));
    }
}

void ProgramNames::readBy(ProgramIdentity reader, bool watching) {
    if (watching) remember(readers_, moreReaders_, reader);
}

void ProgramNames::captureCounted(const std::vector<std::string>& lines) {
    if (!ownerKnown_) {
        captureAwaitingOwner_ = lines.size();
        return;
    }
    remember(copiers_, moreCopiers_, owner_);
    if (named(owner_)) writeUnder("Copied by " + describeProgram(owner_));
}

void ProgramNames::windowBegan() {
    captureAwaitingOwner_ = 0;
    copiers_.clear();
    readers_.clear();
    moreCopiers_ = moreReaders_ = false;
}

std::string ProgramNames::alarmLine() const {
    if (std::none_of(copiers_.begin(), copiers_.end(), named) && readers_.empty()) return {};
    std::string line(kIndent);
    if (!copiers_.empty()) line += "Copied by " + listed(copiers_, moreCopiers_);
    if (!readers_.empty()) {
        line += copiers_.empty() ? "Read by " : "; read by ";
        line += listed(readers_, moreReaders_);
    }
    return line;
}

void ProgramNames::remember(std::vector<ProgramIdentity>& list, bool& overflowed, const ProgramIdentity& program) {
    if (std::find(list.begin(), list.end(), program) != list.end()) return;
    if (list.size() >= kMostListed) {
        overflowed = true;
        return;
    }
    list.push_back(program);
}

void ProgramNames::writeUnder(std::string_view line) {
    log_.writeLine(std::string(kIndent) + std::string(line));
}

}  // namespace zanthrel
