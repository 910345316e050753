// Per-text cost on short texts, for bench/short-texts: fullstop_split (the C
// API, the model loaded once) against ICU's sentence BreakIterator, created
// once and given each text with setText, as a service splitting many small
// texts would use them; and fullstop_splitter_split, a splitter made once
// and given each text, the library's way to split many texts.
//
//   short_split MODEL TEXTS [ROUNDS] [LOCALE]
//
// TEXTS holds the texts separated by NUL bytes.  Each round splits every
// text with each of the three (their order rotated round by round); prints,
// for each, the median over the rounds of the time per text in nanoseconds
// and the sentences found in one round, then ICU's median over each of
// fullstop's.  Only the public API (<fullstop/fullstop.h>) is used.

#include <fullstop/fullstop.h>
#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void die(const std::string &message) {
  std::fprintf(stderr, "short_split: %s\n", message.c_str());
  std::exit(1);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Sentences of every text, each split by `split` (fullstop_split's
// signature, less the model); the time goes to `elapsed`.
template <typename Split>
int64_t with_fullstop(Split split, const std::vector<std::string_view> &texts, double &elapsed) {
  int64_t sentences = 0;
  auto start = std::chrono::steady_clock::now();
  for (std::string_view text : texts) {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = split(text.data(), text.size(), &spans, &error);
    if (n < 0) die(error);
    sentences += n;
    std::free(spans);
  }
  elapsed = seconds_since(start);
  return sentences;
}

int64_t with_icu(icu::BreakIterator &bi, const std::vector<std::string_view> &texts, double &elapsed) {
  int64_t sentences = 0;
  UText *ut = nullptr;
  auto start = std::chrono::steady_clock::now();
  for (std::string_view text : texts) {
    UErrorCode status = U_ZERO_ERROR;
    ut = utext_openUTF8(ut, text.data(), static_cast<int64_t>(text.size()), &status);
    bi.setText(ut, status);
    if (U_FAILURE(status)) die(std::string("ICU setText: ") + u_errorName(status));
    for (int32_t b = bi.first(); (b = bi.next()) != icu::BreakIterator::DONE;) sentences++;
  }
  elapsed = seconds_since(start);
  utext_close(ut);
  return sentences;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) die("usage: short_split MODEL TEXTS [ROUNDS] [LOCALE]");
  int rounds = argc > 3 ? std::atoi(argv[3]) : 21;
  const char *locale = argc > 4 ? argv[4] : "en_US";
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) die(std::string(argv[2]) + ": cannot open");
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string_view> texts;
  for (size_t at = 0; at < all.size();) {
    size_t end = std::min(all.find('\0', at), all.size());
    texts.emplace_back(all.data() + at, end - at);
    at = end + 1;
  }
  if (texts.empty() || rounds < 1) die("no texts, or no rounds");

  char *error = nullptr;
  fullstop_model *model = fullstop_model_load(argv[1], &error);
  if (model == nullptr) die(error);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> bi(icu::BreakIterator::createSentenceInstance(icu::Locale(locale), status));
  if (U_FAILURE(status)) die(std::string("ICU: ") + u_errorName(status));

  fullstop_splitter *splitter = fullstop_splitter_new(model, &error);
  if (splitter == nullptr) die(error);

  // The three take turns, the order rotated round by round.
  const char *names[3] = {"fullstop_split", "fullstop_splitter_split", "ICU setText"};
  std::vector<double> times[3];
  int64_t sentences[3] = {0, 0, 0};
  for (int r = 0; r < rounds; r++) {
    for (int k = 0; k < 3; k++) {
      const int which = (r + k) % 3;
      double elapsed = 0;
      if (which == 0)
        sentences[0] = with_fullstop([&](const char *t, size_t n, fullstop_span **s, char **e) {
          return fullstop_split(model, t, n, s, e);
        }, texts, elapsed);
      if (which == 1)
        sentences[1] = with_fullstop([&](const char *t, size_t n, fullstop_span **s, char **e) {
          return fullstop_splitter_split(splitter, t, n, s, e);
        }, texts, elapsed);
      if (which == 2) sentences[2] = with_icu(*bi, texts, elapsed);
      times[which].push_back(elapsed);
    }
  }
  if (sentences[0] != sentences[1]) die("fullstop_split and the splitter found different sentences");
  double per[3];
  for (int k = 0; k < 3; k++) {
    per[k] = median(times[k]) / static_cast<double>(texts.size()) * 1e9;
    std::printf("%s %.0f ns/text %lld sentences\n", names[k], per[k], static_cast<long long>(sentences[k]));
  }
  std::printf("ICU/fullstop %.2f\n", per[2] / per[0]);
  std::printf("ICU/splitter %.2f\n", per[2] / per[1]);
  fullstop_splitter_free(splitter);
  fullstop_model_free(model);
  return 0;
}
