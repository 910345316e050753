// The library's calls read the caller's text where it is, with nothing after
// it.  Each text is placed so that its last byte is the last byte of a page
// followed by an inaccessible page, so that any read past the end faults, and
// is cut at every length up to 130 bytes and within 130 bytes of its end
// (ends at every offset of the scanner's 64-byte blocks, inside and after
// tokens of every kind): fullstop_split's spans must be those of a stream,
// which reads the same bytes into buffers of its own, as the program reads
// standard input; evaluation, training contexts and the output forms must
// give what they give for a copy of the text.
#include <gtest/gtest.h>

#include <fullstop/fullstop.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace std::literals;
using Spans = std::vector<std::pair<int64_t, int64_t>>;

// Pages whose last readable byte is followed by a PROT_NONE page.
class GuardedPages {
 public:
  explicit GuardedPages(size_t bytes) {
    page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_ = (bytes + page_ - 1) / page_ * page_ + page_;
    void *p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) std::abort();
    base_ = static_cast<char *>(p);
    if (mprotect(base_ + size_ - page_, page_, PROT_NONE) != 0) std::abort();
  }
  ~GuardedPages() { munmap(base_, size_); }
  // A copy of text ending right before the guard page.
  const char *place(const std::string &text) {
    char *at = base_ + size_ - page_ - text.size();
    std::memcpy(at, text.data(), text.size());
    return at;
  }

 private:
  size_t page_, size_;
  char *base_;
};

Spans split_at(const fullstop_model *m, const char *text, size_t len) {
  fullstop_span *s = nullptr;
  char *error = nullptr;
  int64_t n = fullstop_split(m, text, len, &s, &error);
  EXPECT_GE(n, 0) << (error != nullptr ? error : "");
  std::free(error);
  Spans out;
  for (int64_t i = 0; i < n; i++) out.emplace_back(s[i].start, s[i].end);
  std::free(s);
  return out;
}

// What a stream gives for the text, as `fullstop -m MODEL` reads it.
Spans streamed_spans(const fullstop_model *m, const std::string &text) {
  fullstop_stream *st = fullstop_stream_new(m, nullptr);
  Spans out;
  for (int call = 0; call < 2; call++) {
    fullstop_span *s = nullptr;
    const int64_t n = call == 0 ? fullstop_stream_feed(st, text.data(), text.size(), &s, nullptr)
                                : fullstop_stream_finish(st, &s, nullptr);
    EXPECT_GE(n, 0);
    for (int64_t i = 0; i < n; i++) out.emplace_back(s[i].start, s[i].end);
    std::free(s);
  }
  fullstop_stream_free(st);
  return out;
}

// Evaluation counts, training contexts and feature lists, and the lines and
// offsets forms of the text at `text`, as one string.
std::string other_calls(const fullstop_model *m, const char *text, size_t len) {
  std::string out;
  fullstop_eval c{};
  EXPECT_EQ(fullstop_evaluate(m, text, len, &c, nullptr), 0);
  for (int64_t v : {c.sites, c.true_positives, c.false_positives, c.true_negatives, c.false_negatives})
    out += std::to_string(v) + " ";
  char *contexts = nullptr, *features = nullptr, *form = nullptr;
  size_t contexts_len = 0, features_len = 0, form_len = 0;
  for (int mode : {FULLSTOP_TEXT_CLASSIC, FULLSTOP_TEXT_UNICODE}) {
    EXPECT_EQ(fullstop_training_contexts(text, len, mode, &contexts, &contexts_len, &features, &features_len, nullptr),
              0);
    out += std::string(contexts, contexts_len) + std::string(features, features_len);
    std::free(contexts);
    std::free(features);
  }
  for (int format : {FULLSTOP_FORMAT_XML, FULLSTOP_FORMAT_LINES}) {
    EXPECT_EQ(fullstop_render(m, text, len, format, 1, &form, &form_len, nullptr), 0);
    out += std::string(form, form_len);
    std::free(form);
  }
  return out;
}

std::string repeat(const std::string &s, size_t n) {
  std::string out;
  while (out.size() < n) out += s;
  return out;
}

const struct {
  const char *name;
  std::string text;
} kTexts[] = {
    {"prose", repeat("Dr. Smith met Mr. J. R. Jones at 5 p.m. on Jan. 3.  \"Stop!\" he said. "
                     "(Then he left.)\nU.S.A. won 3.14159 to 2.71828; why?\n\nA new paragraph... ok.\n",
                     300)},
    // Tokens longer than the 8-byte loads of interning, up to the last byte.
    {"long tokens", repeat("Internationalization... Antidisestablishmentarianism! x.y.z.w.v.u.t.s "
                           "abcdefghijklmnopqrstuvwxyz?! ---------------- ",
                           300)},
    // NULs, tabs, blank lines of spaces, no newline at the end.
    {"separators", repeat("End.\0Next one.\t\tTab. \n \t \nPara.\0\0 \n\n\0x."s, 300)},
    // Text the Unicode mode maps: curly quotes, ellipsis, CRLF, a BOM.
    {"mapped", "\xEF\xBB\xBF" + repeat("\xE2\x80\x9CQuoted.\xE2\x80\x9D Then\xE2\x80\xA6 more.\r\n"
                                       "\xC3\x89t\xC3\xA9 fini. Ja.\r\n\r\n",
                                       300)},
    // List items: the Unicode mode's markers after a token.
    {"lists", repeat("Items:\n1. First item\n2) Second\n- dash item\n* star item\niv. roman\n"
                     "a) letter. XII. Upper\n",
                     300)},
};

TEST(SplitInPlace, TextEndingAtAPageEndSplitsAsTheProgram) {
  for (const char *path : {"/models/en.model", "/tests/data/brown_conformance.model"}) {
    std::string file = std::string(FULLSTOP_SOURCE_DIR) + path;
    fullstop_model *m = fullstop_model_load(file.c_str(), nullptr);
    ASSERT_NE(m, nullptr) << file;
    for (const auto &t : kTexts) {
      GuardedPages pages(t.text.size());
      // Two blocks of cuts at the end (every offset in a block, twice), and
      // the short texts that fit in the first block.
      for (size_t len = 0; len <= t.text.size(); len++) {
        if (len > 130 && len + 130 < t.text.size()) continue;
        std::string text = t.text.substr(0, len);
        ASSERT_EQ(split_at(m, pages.place(text), len), streamed_spans(m, text))
            << path << ", " << t.name << ", " << len << " bytes";
        // The other calls at fewer lengths: each runs every mode.
        if (len % 7 == 0 || len + 8 > t.text.size()) {
          ASSERT_EQ(other_calls(m, pages.place(text), len), other_calls(m, text.data(), len))
              << path << ", " << t.name << ", " << len << " bytes";
        }
      }
    }
    fullstop_model_free(m);
  }
}

}  // namespace
