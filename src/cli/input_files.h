// The text a fullstop run reads: standard input, or the FILE operands of a
// run that asks for them, one after another as cat reads them ("-" is
// standard input), so that offsets run over their concatenation.
#ifndef FULLSTOP_CLI_INPUT_FILES_H
#define FULLSTOP_CLI_INPUT_FILES_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace fullstop::cli {

class InputFiles {
 public:
  // No names: standard input alone.
  explicit InputFiles(std::vector<std::string> names);
  ~InputFiles();
  InputFiles(const InputFiles &) = delete;
  InputFiles &operator=(const InputFiles &) = delete;

  // Opens every named file once and closes it again, so that a missing,
  // unreadable or directory operand ends the run before anything is read or
  // written (features.def included).  Fails as read() does.
  void check();
  // Whether the next read would wait (input not ready yet).  Opens the next
  // file when none is open; false at the end.
  bool would_wait();
  // Reads up to n bytes into buf.  0 at the end of each file: at_end() then
  // says whether another follows, and the caller may flush what it holds
  // before the next file is read.  Fails (core::Error of kind input, the
  // system's reason alone, name() naming the file) on a read error.
  size_t read(char *buf, size_t n);
  bool at_end() const { return next_ >= names_.size() && fd_ < 0; }
  // The file being read, as messages name it ("standard input" for "-").
  const std::string &name() const { return current_; }
  // Whether standard input is among what is read.
  bool reads_stdin() const;

 private:
  bool open_next();
  void close_current();

  std::vector<std::string> names_;
  size_t next_ = 0;
  int fd_ = -1;
  bool own_ = false;  // fd_ is a file opened here, not standard input
  std::string current_ = "standard input";
};

}  // namespace fullstop::cli

#endif  // FULLSTOP_CLI_INPUT_FILES_H
