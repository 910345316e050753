// The fullstop program's allocator setup.
#ifndef FULLSTOP_CLI_ALLOCATOR_H
#define FULLSTOP_CLI_ALLOCATOR_H

namespace fullstop::cli {

// Sets up the C library's allocator for a program that streams text for its
// whole life (the fullstop program calls it first thing; the library never
// does: its callers own their process).  Each fresh 4 KiB page costs a page
// fault when first written, some 10 us on this kind of virtual machine, and
// the allocator's defaults hand out fresh pages again and again: every block
// from 128 KiB on is mapped anew and unmapped when freed (a block's output,
// a table that doubles), and the top of the heap goes back to the system
// as soon as it is free.  So: one heap for every thread, kept once grown,
// blocks up to 32 MiB taken from it, the heap grown 64 MiB at a time and
// that stretch backed by huge pages where the system grants them.  On
// 20 MiB of text this took a third of the page faults and 12-15% of the
// time of a run; RSS stays a few MiB above what the text in flight needs.
// Returns a block to keep unused while the program runs (or null): it fills
// the heap up to the first whole huge page.  Does nothing outside glibc.
void *tune_allocator_for_streaming();

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_ALLOCATOR_H
