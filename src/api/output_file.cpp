#include "api/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/failure.hpp"

namespace quorlen {

namespace {

ssize_t systemWrite(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

std::atomic<OutputFile::WriteFunction> writeFunction{systemWrite};

// The path of the output to remove on a signal, or null. It points into the OutputFile's
// own string, which outlives the registration.
std::atomic<const char*> pendingOutput{nullptr};

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removePendingOutput(int signal) {
  const char* path = pendingOutput.exchange(nullptr);
  if (path != nullptr) ::unlink(path);
  // Ends the process as the signal would have: the default action, once the handler returns.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Holds the cleanup signals back while the registration changes, so that a handler never
// sees a file half registered.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kCleanupSignals) sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t saved_;
};

}  // namespace

void removeOutputOnSignal() {
  struct sigaction action {};
  action.sa_handler = removePendingOutput;
  sigemptyset(&action.sa_mask);
  for (const int signal : kCleanupSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kCleanupSignals) {
    struct sigaction previous {};
    // A signal the caller's parent ignored stays ignored, as shells expect of background jobs.
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}

void OutputFile::setWriteFunction(WriteFunction function) { writeFunction = function ? function : systemWrite; }

OutputFile::OutputFile(const std::string& path, std::optional<mode_t> permissions, bool dashIsStandardOutput)
    : path_(path) {
  if (dashIsStandardOutput && path == "-") {
    fd_ = STDOUT_FILENO;
  } else {
    const mode_t mode = permissions ? (*permissions & 07777) : 0666;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    owned_ = true;
  }
  struct stat status {};
  if (fd_ < 0 || ::fstat(fd_, &status) != 0) {
    if (owned_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    fail(ErrorKind::openOutput, "unable to open file '" + path + "' for output.");
  }
  regular_ = owned_ && S_ISREG(status.st_mode);
  // Only a file that the name itself holds is removed after a failure; through a symbolic
  // link the name is not ours to remove.
  struct stat named {};
  removable_ = regular_ && ::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) &&
               named.st_dev == status.st_dev && named.st_ino == status.st_ino;
  // An existing file keeps its mode through O_TRUNC: take away what the input does not
  // have before a byte is written.
  if (regular_ && permissions) ::fchmod(fd_, status.st_mode & *permissions & 07777);
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputFile::~OutputFile() {
  forget();
  if (owned_ && fd_ >= 0) ::close(fd_);
}

void OutputFile::removeOnSignal() {
  if (!removable_) return;
  const SignalBlock block;
  pendingOutput = path_.c_str();
  registered_ = true;
}

void OutputFile::forget() noexcept {
  if (!registered_) return;
  const SignalBlock block;
  pendingOutput = nullptr;
  registered_ = false;
}

bool OutputFile::writeAll(const std::uint8_t* data, std::size_t size) noexcept {
  const WriteFunction function = writeFunction;
  while (size > 0) {
    const ssize_t done = function(fd_, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

bool OutputFile::flushBuffer() noexcept {
  const auto pending = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return fd_ >= 0 && writeAll(reinterpret_cast<const std::uint8_t*>(buffer_.data()), pending);
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (!flushBuffer()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

int OutputFile::sync() { return flushBuffer() ? 0 : -1; }

void OutputFile::write(std::span<const std::uint8_t> bytes) {
  const auto room = static_cast<std::size_t>(epptr() - pptr());
  if (bytes.size() <= room) {
    std::memcpy(pptr(), bytes.data(), bytes.size());
    pbump(static_cast<int>(bytes.size()));
    return;
  }
  // Large blocks go straight to the file once what is buffered has gone ahead of them.
  if (!flushBuffer() || !writeAll(bytes.data(), bytes.size())) throw Failure(ErrorKind::writeOutput, kDiskFull);
}

void OutputFile::close() {
  const bool flushed = flushBuffer();
  forget();
  const int fd = fd_;
  fd_ = -1;
  const bool closed = !owned_ || ::close(fd) == 0;
  if (!flushed || !closed) throw Failure(ErrorKind::writeOutput, kDiskFull);
}

void OutputFile::discard() noexcept {
  forget();
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  if (owned_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (removable_) ::unlink(path_.c_str());
}

}  // namespace quorlen
