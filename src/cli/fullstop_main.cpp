// fullstop: sentence-boundary detection as a Unix filter.
#include <cstdlib>
#include <new>

#include "cli/allocator.h"
#include "cli/exit_status.h"
#include "cli/run.h"
#include "core/base/error.h"

int main(int argc, char **argv) {
  using namespace fullstop::cli;
  void *heap_head = tune_allocator_for_streaming();
  try {
    int status = run(argc, argv);
    std::free(heap_head);
    return status;
  } catch (const fullstop::core::Error &e) {
    return exit_status(e, "fullstop");
  } catch (const std::bad_alloc &) {
    return out_of_memory_status("fullstop");
  }
}
