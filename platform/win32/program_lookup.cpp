#include "platform/win32/program_lookup.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/win32/text_encoding.h"

namespace zanthrel::win32 {

struct ProgramLookup::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    HWND window = nullptr;
    // Only the newest change matters: a request or a name for an older one is replaced.
    std::optional<std::pair<std::uint64_t, DWORD>> asked;
    std::optional<std::pair<std::uint64_t, ProgramIdentity>> named;
    bool stopping = false;
};

namespace {

struct ProcessHandle {
    HANDLE handle;
    ~ProcessHandle() {
        if (handle) CloseHandle(handle);
    }
};

void serve(const std::shared_ptr<ProgramLookup::Shared>& shared) {
    for (;;) {
        std::pair<std::uint64_t, DWORD> job;
        {
            std::unique_lock lock(shared->mutex);
            shared->wake.wait(lock, [&] { return shared->stopping || shared->asked; });
            if (shared->stopping) return;
            job = *std::exchange(shared->asked, std::nullopt);
        }
        ProgramIdentity program;
        try {
            program = job.second == 0 ? ProgramIdentity{} : ProgramLookup::identify(job.second);
        } catch (...) {
            // No memory for a name: the owner stays unknown.
        }
        std::lock_guard lock(shared->mutex);
        if (shared->stopping) return;
        shared->named.emplace(job.first, std::move(program));
        PostMessageW(shared->window, kProgramNamedMessage, 0, 0);
    }
}

}  // namespace

ProgramIdentity ProgramLookup::identify(DWORD processId) {
    const ProcessHandle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId)};
    if (!process.handle) {
        // No such process any more; any other refusal (a process of another user or a higher integrity
        // level) leaves it unknown.
        if (GetLastError() == ERROR_INVALID_PARAMETER) return {ProgramIdentity::Source::Exited, {}, processId};
        return {};
    }
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.handle, &exitCode) && exitCode != STILL_ACTIVE)
        return {ProgramIdentity::Source::Exited, {}, processId};
    wchar_t path[MAX_PATH * 4];
    DWORD length = static_cast<DWORD>(std::size(path));
    if (!QueryFullProcessImageNameW(process.handle, 0, path, &length)) return {};
    std::wstring_view image(path, length);
    const auto slash = image.find_last_of(L"\\/");
    if (slash != std::wstring_view::npos) image.remove_prefix(slash + 1);
    return {ProgramIdentity::Source::System, toUtf8(image), processId};
}

ProgramLookup::ProgramLookup(HWND window) : shared_(std::make_shared<Shared>()) {
    shared_->window = window;
    std::thread([shared = shared_] { serve(shared); }).detach();
}

ProgramLookup::~ProgramLookup() {
    // A thread inside the system for longer is left to end by itself; it holds nothing but the state shared
    // with it.
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->wake.notify_all();
}

void ProgramLookup::clipboardChanged(std::optional<std::uint32_t> ownerProcess) {
    // Neither call waits on another program. The clipboard emptied through our own window is ours: no one
    // else's name to give.
    DWORD processId = ownerProcess.value_or(0);
    if (!ownerProcess)
        if (const HWND owner = GetClipboardOwner()) GetWindowThreadProcessId(owner, &processId);
    ++notice_;
    if (processId == GetCurrentProcessId()) return;
    std::lock_guard lock(shared_->mutex);
    shared_->asked.emplace(notice_, processId);
    shared_->wake.notify_all();
}

void ProgramLookup::deliver(Guard& guard) {
    std::optional<std::pair<std::uint64_t, ProgramIdentity>> named;
    {
        std::lock_guard lock(shared_->mutex);
        named = std::exchange(shared_->named, std::nullopt);
    }
    // A name for a change that another has followed would be taken for the newer owner's.
    if (named && named->first == notice_) guard.clipboardOwnerNamed(std::move(named->second));
}

}  // namespace zanthrel::win32
