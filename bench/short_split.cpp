// Per-text cost on short texts, for bench/short-texts: fullstop_split (the C
// API, the model loaded once) against ICU's sentence BreakIterator, created
// once and given each text with setText, as a service splitting many small
// texts would use them.
//
//   short_split MODEL TEXTS [ROUNDS] [LOCALE]
//
// TEXTS holds the texts separated by NUL bytes.  Each round splits every
// text with fullstop_split and then with ICU (the two alternating round by
// round); prints, for each, the median over the rounds of the time per text
// in nanoseconds and the sentences found in one round, then ICU's median
// over fullstop's.  Only the public API (<fullstop/fullstop.h>) is used.

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

// Sentences of every text; the time goes to `elapsed`.
int64_t with_fullstop(const fullstop_model *model, const std::vector<std::string_view> &texts,
                      double &elapsed) {
  int64_t sentences = 0;
  auto start = std::chrono::steady_clock::now();
  for (std::string_view text : texts) {
    fullstop_span *spans = nullptr;
    char *error = nullptr;
    int64_t n = fullstop_split(model, text.data(), text.size(), &spans, &error);
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

  std::vector<double> fullstop_times, icu_times;
  int64_t fullstop_sentences = 0, icu_sentences = 0;
  double elapsed = 0;
  for (int r = 0; r < rounds; r++) {
    if (r % 2 == 0) {
      fullstop_sentences = with_fullstop(model, texts, elapsed);
      fullstop_times.push_back(elapsed);
      icu_sentences = with_icu(*bi, texts, elapsed);
      icu_times.push_back(elapsed);
    } else {
      icu_sentences = with_icu(*bi, texts, elapsed);
      icu_times.push_back(elapsed);
      fullstop_sentences = with_fullstop(model, texts, elapsed);
      fullstop_times.push_back(elapsed);
    }
  }
  double per_fullstop = median(fullstop_times) / static_cast<double>(texts.size()) * 1e9;
  double per_icu = median(icu_times) / static_cast<double>(texts.size()) * 1e9;
  std::printf("fullstop_split %.0f ns/text %lld sentences\n", per_fullstop,
              static_cast<long long>(fullstop_sentences));
  std::printf("ICU setText %.0f ns/text %lld sentences\n", per_icu, static_cast<long long>(icu_sentences));
  std::printf("ICU/fullstop %.2f\n", per_icu / per_fullstop);
  fullstop_model_free(model);
  return 0;
}
