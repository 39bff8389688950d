#pragma once

namespace zanthrel::posix {

// Asks the kernel to run the calling thread as soon as it wakes: a short time slice, which the fair
// scheduler (EEVDF, Linux 6.12 and later) honours by letting the waking thread preempt threads that asked
// for longer ones. For a thread that sleeps nearly always and must answer an event the instant it comes;
// it uses no more CPU than before. Needs no privilege and keeps the thread's nice value; where the kernel
// knows no such request, nothing changes.
void preferQuickWakeups() noexcept;

}  // namespace zanthrel::posix
