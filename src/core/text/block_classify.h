// The block scanner's classifier: 64 bytes of text at a time, classified
// into the bit masks that find where tokens start and end, and each byte's
// share of the flags of a token starting or ending there.
//
// One form per kind of processor: AVX2 (block_classify_avx2.cpp, chosen at
// run time), SSE2 (block_classify_sse2.h, inline in the scanner's loop), and
// the plain byte-by-byte reference (block_classify_plain.cpp), which the
// others must agree with on every block (BlockClassify in
// tests/unit/tokenizer_test.cpp).  The tokenizer's scanner picks the form.
#ifndef FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_H
#define FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_H

#include <cstdint>

// The AVX2 classifier is built where the compiler can target it alone.
#if defined(__x86_64__) && defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#define FULLSTOP_WIDE_BLOCKS 1
#else
#define FULLSTOP_WIDE_BLOCKS 0
#endif

namespace fullstop::core {

// The flag bits a block gives a token that starts or ends at a byte: the
// token's flags byte has the same bits (tokens/token.h checks it).
namespace block_flag {
inline constexpr uint8_t punct = 1, space_before = 2, space_after = 4, marker = 128;
}

// One 64-byte block, classified.  A token's flags come from one byte load
// per token end (the bytes of a block cost a few vector operations, shared
// by its dozen tokens), not from the masks a bit at a time.
struct ClassifiedBlock {
  uint64_t sep, punct, newline;  // bit i is byte i: a separator, punctuation, '\n'
  // A token starting at byte i: punct (it is punctuation), space_before
  // (byte i-1 is a separator) and, in the Unicode mode, marker (byte i is
  // '*' or '-', which a bullet starts with).
  alignas(16) uint8_t start_flags[64];
  // A token ending just before byte i: space_after (byte i is a separator)
  // and, in the Unicode mode, marker (byte i is '.' or ')', at which a word
  // that may be a list label ends).
  alignas(16) uint8_t end_flags[64];
};

// The reference: byte by byte.  `sep_before` says whether the byte before
// the block is a separator (the previous block's last byte, or the start
// of the text); `unicode` asks for the marker bits.
void classify_block_plain(const char *p, bool sep_before, bool unicode, ClassifiedBlock &b);

// Whether this processor runs the AVX2 form.
bool wide_blocks_supported();

#if FULLSTOP_WIDE_BLOCKS
// Compiled for AVX2 alone (block_classify_avx2.cpp), out of line.
template <bool kUnicode>
[[gnu::target("avx2")]] void classify_block_avx2(const char *p, bool sep_before, ClassifiedBlock &b);
#endif

}  // namespace fullstop::core

#endif  // FULLSTOP_CORE_TEXT_BLOCK_CLASSIFY_H
