#include "cli/atomic_file.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/base/error.h"

namespace fullstop::cli::atomic_file {

namespace {

// The temporary file a signal must remove.  The name lives in a fixed buffer
// so the handler touches nothing but it and unlink(); `pending` is set only
// once the file exists and cleared before it is renamed or removed, with the
// signals blocked around both, so the handler never removes a file that is
// not ours.
char temp_name[PATH_MAX + 32];
volatile sig_atomic_t pending = 0;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_temp_and_die(int sig) {
  if (pending) unlink(temp_name);
  pending = 0;
  signal(sig, SIG_DFL);
  raise(sig);  // delivered when the handler returns: the usual status
}

void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int sig : kSignals) {
    struct sigaction old {};
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = remove_temp_and_die;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
  }
}

class BlockSignals {
 public:
  BlockSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~BlockSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

void drop_temp() {
  BlockSignals block;
  pending = 0;
  unlink(temp_name);
}

std::string dir_of(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// What went wrong: the step, as a short phrase, and the system's error
// number.
struct FailedStep {
  const char *step = nullptr;  // nullptr: no failure
  int error = 0;
  explicit operator bool() const { return step != nullptr; }
};

FailedStep failed(const char *step) { return FailedStep{step, errno}; }

FailedStep write_in_place(const std::string &path, const std::function<bool(std::FILE *)> &fill) {
  std::FILE *out = std::fopen(path.c_str(), "w");
  if (out == nullptr) return failed("cannot open for writing");
  bool ok;
  try {
    ok = fill(out) && std::fflush(out) == 0 && !std::ferror(out);
  } catch (...) {
    std::fclose(out);
    throw;
  }
  if (!ok) {
    FailedStep f = failed("cannot write");
    std::fclose(out);
    return f;
  }
  if (std::fclose(out) != 0) return failed("cannot write");
  return {};
}

}  // namespace

std::string final_target(const std::string &path) {
  std::string target = path;
  for (int depth = 0; depth < 40; depth++) {
    struct stat st;
    if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
    char buf[PATH_MAX];
    ssize_t n = readlink(target.c_str(), buf, sizeof buf - 1);
    if (n < 0) return target;
    std::string link(buf, static_cast<size_t>(n));
    target = !link.empty() && link[0] == '/' ? link : dir_of(target) + link;
  }
  return target;  // a loop: opening it reports ELOOP
}

namespace {

FailedStep write(const std::string &path, const std::function<bool(std::FILE *)> &fill) {
  std::string real = final_target(path);
  struct stat st;
  if (stat(real.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    if (S_ISDIR(st.st_mode)) return FailedStep{"is a directory", EISDIR};
    return write_in_place(real, fill);
  }
  if (real.size() + 16 > PATH_MAX) return FailedStep{"cannot create a temporary file beside it", ENAMETOOLONG};

  install_handlers();
  int fd;
  {
    BlockSignals block;
    std::memcpy(temp_name, real.c_str(), real.size());
    std::memcpy(temp_name + real.size(), ".tmp-XXXXXX", 12);
    fd = mkstemp(temp_name);
    if (fd < 0) return failed("cannot create a temporary file beside it");
    pending = 1;
  }
  // mkstemp makes the file private; these are ordinary files, so give the
  // mode a plain create would.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  std::FILE *out = fdopen(fd, "w");
  if (out == nullptr) {
    FailedStep f = failed("cannot write");
    close(fd);
    drop_temp();
    return f;
  }
  bool ok;
  try {
    ok = fill(out) && std::fflush(out) == 0 && !std::ferror(out) && fsync(fd) == 0;
  } catch (...) {
    std::fclose(out);
    drop_temp();
    throw;
  }
  FailedStep f = ok ? FailedStep{} : failed("cannot write");
  if (std::fclose(out) != 0 && !f) f = failed("cannot write");
  if (f) {
    drop_temp();
    return f;
  }
  BlockSignals block;
  if (std::rename(temp_name, real.c_str()) != 0) {
    f = failed("cannot replace");
    pending = 0;
    unlink(temp_name);
    return f;
  }
  pending = 0;
  return {};
}

}  // namespace

void replace(const std::string &path, const std::function<bool(std::FILE *)> &fill, Wording wording) {
  const FailedStep f = write(path, fill);
  if (!f) return;
  std::string message = path + ": ";
  if (wording == Wording::reason) {
    message += std::strerror(f.error);
  } else if (f.error == EISDIR && std::strcmp(f.step, "is a directory") == 0) {
    message += f.step;
  } else {
    message += std::string(f.step) + ": " + std::strerror(f.error);
  }
  core::fail(core::ErrorKind::output, message);
}

}  // namespace fullstop::cli::atomic_file
