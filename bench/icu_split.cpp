// Sentence splitting with ICU's rule-based sentence BreakIterator, as a baseline
// for bench/run.
//
//   icu_split [LOCALE] < text > spans
//
// Reads UTF-8 text on standard input and prints one "start end" line per
// sentence: byte offsets into the input, end exclusive, with the whitespace ICU
// leaves at the end of each sentence trimmed off (and at its start, which only
// happens at the very beginning of the text). Spans that are nothing but
// whitespace are dropped.
//
// The text is handed to ICU through a UTF-8 UText, so there is no UTF-16 copy
// and the break positions ICU reports are already byte offsets.  Output is
// formatted by hand into a large buffer: with printf the formatting would cost
// a noticeable share of the time being measured.

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

bool is_space(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string read_all(int fd) {
    std::string buf;
    std::size_t used = 0;
    // Size the buffer from the file when stdin is one: growing by doubling would
    // touch up to twice the text's size and inflate the peak RSS being measured.
    struct stat st;
    std::size_t want = 1 << 20;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        want = static_cast<std::size_t>(st.st_size) + 1;
    buf.resize(want);
    for (;;) {
        if (used == buf.size()) buf.resize(buf.size() * 2);
        ssize_t n = read(fd, buf.data() + used, buf.size() - used);
        if (n < 0) {
            std::perror("icu_split: read");
            std::exit(1);
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    buf.resize(used);
    return buf;
}

class Output {
public:
    ~Output() { flush(); }

    void span(std::size_t start, std::size_t end) {
        if (buf_.size() - used_ < 64) flush();
        char* p = buf_.data() + used_;
        char* lim = buf_.data() + buf_.size();
        p = std::to_chars(p, lim, start).ptr;
        *p++ = ' ';
        p = std::to_chars(p, lim, end).ptr;
        *p++ = '\n';
        used_ = static_cast<std::size_t>(p - buf_.data());
    }

    void flush() {
        if (used_ && std::fwrite(buf_.data(), 1, used_, stdout) != used_) {
            std::perror("icu_split: write");
            std::exit(1);
        }
        used_ = 0;
    }

private:
    std::vector<char> buf_ = std::vector<char>(1 << 16);
    std::size_t used_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const char* locale = argc > 1 ? argv[1] : "en_US";
    const std::string text = read_all(0);
    // BreakIterator positions are int32_t.
    if (text.size() > 0x7fffffffu) {
        std::fprintf(stderr, "icu_split: input larger than 2 GiB\n");
        return 1;
    }

    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    std::unique_ptr<icu::BreakIterator> bi(
        icu::BreakIterator::createSentenceInstance(icu::Locale(locale), status));
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "icu_split: %s\n", u_errorName(status));
        return 1;
    }
    bi->setText(ut, status);
    if (U_FAILURE(status)) {
        std::fprintf(stderr, "icu_split: setText: %s\n", u_errorName(status));
        return 1;
    }

    Output out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t start = static_cast<std::size_t>(bi->first());
    for (int32_t next = bi->next(); next != icu::BreakIterator::DONE; next = bi->next()) {
        std::size_t b = start, e = static_cast<std::size_t>(next);
        start = e;
        while (b < e && is_space(s[b])) ++b;
        while (e > b && is_space(s[e - 1])) --e;
        if (b < e) out.span(b, e);
    }
    out.flush();
    utext_close(ut);
    return 0;
}
