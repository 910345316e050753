// fullstop: sentence-boundary detection as a Unix filter.
#include <cstdio>
#include <new>

#include "driver.h"
#include "util.h"

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError &e) {
    if (*e.what() != '\0') std::fprintf(stderr, "fullstop: %s\n", e.what());
    if (e.hint) std::fputs("Try 'fullstop --help'.\n", stderr);
    return 2;
  } catch (const std::bad_alloc &) {
    out_of_memory();
  }
}
