#include "platform/posix/wakeup_latency.h"

#include <linux/sched.h>
#include <linux/sched/types.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace zanthrel::posix {
namespace {

// The shortest slice the kernel grants.
constexpr __u64 kSliceNs = 100'000;

}  // namespace

void preferQuickWakeups() noexcept {
    // Setting a slice sets the nice value with it: the thread's own is kept.
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    if (errno != 0) return;
    sched_attr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_NORMAL;
    attr.sched_nice = nice;
    attr.sched_runtime = kSliceNs;
    (void)syscall(SYS_sched_setattr, 0, &attr, 0);
}

}  // namespace zanthrel::posix
