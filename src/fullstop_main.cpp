// fullstop: sentence-boundary detection as a Unix filter.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "driver.h"
#include "util.h"

int main(int argc, char **argv) {
  void *heap_head = tune_allocator_for_streaming();
  try {
    int status = run(argc, argv);
    std::free(heap_head);
    return status;
  } catch (const UsageError &e) {
    if (*e.what() != '\0') std::fprintf(stderr, "fullstop: %s\n", e.what());
    if (e.hint) std::fputs("Try 'fullstop --help'.\n", stderr);
    return 2;
  } catch (const fullstop::Failure &e) {
    std::fprintf(stderr, e.raw() ? "%s\n" : "fullstop: %s\n", e.what());
    if (e.abort_process()) std::abort();
    return e.status();
  } catch (const std::bad_alloc &) {
    std::fputs("fullstop: out of memory\n", stderr);
    return 1;
  }
}
