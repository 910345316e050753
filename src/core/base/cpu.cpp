#include "core/base/cpu.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace fullstop::core {

int current_cpu() { return sched_getcpu(); }

void move_off_cpu(std::thread &thread, int cpu) {
  cpu_set_t allowed;
  if (cpu < 0 || sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  if (CPU_COUNT(&allowed) < 2 || cpu >= CPU_SETSIZE || !CPU_ISSET(cpu, &allowed)) return;
  cpu_set_t others = allowed;
  CPU_CLR(cpu, &others);
  if (pthread_setaffinity_np(thread.native_handle(), sizeof others, &others) == 0)
    pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed);
}

int online_cpus() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1) n = static_cast<long>(std::thread::hardware_concurrency());
  return n < 1 ? 1 : static_cast<int>(n);
}

}  // namespace fullstop::core
