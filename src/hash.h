/* The string hash table's API lives in the installed header. */
#ifndef FULLSTOP_SRC_HASH_H
#define FULLSTOP_SRC_HASH_H
#include "../include/fullstop/hash.h"
#endif
