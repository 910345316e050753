// Where threads run.
#ifndef FULLSTOP_CORE_BASE_CPU_H
#define FULLSTOP_CORE_BASE_CPU_H

#include <thread>

namespace fullstop::core {

// The processor the calling thread runs on, or -1 where that is unknown.
int current_cpu();
// Moves `thread`, just started by a thread running on `cpu`, to another
// processor the process may use, and then lets it run anywhere again.  The
// kernel queues a new thread on its creator's processor, and on these
// virtual machines left it there, time-sharing with its creator in 4 ms
// slices, for up to 13 ms while the other processor idled: a fifth of a
// --jobs 2 run over 20 MB.  Narrowing a queued thread's processors moves it
// at once, and widening them again does not move it back.  Does nothing
// with one processor, or when `cpu` is -1.
void move_off_cpu(std::thread &thread, int cpu);
// The number of online processors (at least 1).
int online_cpus();

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_BASE_CPU_H
