// The ascending order of a training window's twenty feature ids.
//
// Training prints each window's event with its ids in ascending order.  The
// plain way is an insertion sort of the twenty ids (which come in template
// order per position, far from sorted: about a thousand instructions a
// window, a fifth of training's run).  In training the twenty names of a
// window are always distinct, and so are their ids, so each id's place is the
// number of ids below it; with SSE2 those counts are taken four lanes at a
// time, without a branch.  The plain sort stays as the reference (and the
// path without SSE2); tests/unit/training_fast_test.cpp holds them equal.
#ifndef FULLSTOP_CORE_DECIDE_WINDOW_ORDER_H
#define FULLSTOP_CORE_DECIDE_WINDOW_ORDER_H

#include <cstdint>

namespace fullstop::core {

inline constexpr int kWindowIds = 20;

// Writes ids[0..20) in ascending order to `sorted` and returns true when no
// id repeats; returns false (and `sorted` is unspecified) when some id is
// there twice, which the caller orders and counts the plain way.
bool order_distinct_window_ids(const int32_t *ids, int32_t *sorted);

// The reference: the same result by an insertion sort and a scan for equal
// neighbours.
bool order_distinct_window_ids_plain(const int32_t *ids, int32_t *sorted);

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_DECIDE_WINDOW_ORDER_H
