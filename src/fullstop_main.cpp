// fullstop: sentence-boundary detection as a Unix filter.
#include <new>

#include "driver.h"
#include "util.h"

int main(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    out_of_memory();
  }
}
