#include "saving/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "base/errors.h"

namespace quendra {

namespace {

// Small enough that its pages, touched once per save, cost less than the extra write calls.
constexpr size_t kBufferSize = size_t(1) << 17;
constexpr size_t kMaxNameStem = 200;

// The process's umask, read without changing it (umask() would race with other threads).
mode_t CurrentUmask() {
  static const mode_t mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
      if (line.rfind("Umask:", 0) == 0) return mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
    return mode_t(022);
  }();
  return mask;
}

}  // namespace

std::string SystemErrorText(int error) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not live in buf.
  return ::strerror_r(error, buf, sizeof buf);
}

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
  // A dot-name beside the target: the same file system, so the rename is atomic, and hidden
  // from folder listings while it grows.
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  // A target name near the 255-byte limit must still leave room for the temporary's additions.
  if (name.size() > kMaxNameStem) name.resize(kMaxNameStem);
  temp_ = folder + "." + name + ".partXXXXXX";
  folder_ = folder.empty() ? "." : folder;
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    temp_.clear();
    throw EFileError(SystemErrorText(error));
  }
  buffer_.reserve(kBufferSize);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

void AtomicFile::Fail(int error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  throw EFileError(SystemErrorText(error));
}

void AtomicFile::Write(const uint8_t* data, size_t size) {
  if (fd_ < 0) throw EFileError(SystemErrorText(EBADF));
  if (buffer_.size() + size > kBufferSize) Flush();
  if (size >= kBufferSize) return WriteAll(data, size);
  buffer_.insert(buffer_.end(), data, data + size);
}

void AtomicFile::Flush() {
  WriteAll(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void AtomicFile::WriteAll(const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t w = ::write(fd_, data, size);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) Fail(errno);
    if (w == 0) Fail(ENOSPC);
    data += w;
    size -= size_t(w);
  }
}

bool AtomicFile::KeepOwner(uid_t owner, gid_t group) {
  if (fd_ < 0) return false;
  if (::fchown(fd_, owner, group) == 0) return true;
  if (owner != ::geteuid()) return false;
  ::fchown(fd_, uid_t(-1), group);  // not one of our groups: the file takes ours
  return true;
}

// Into place without replacing: renameat2 where the file system has it, else a hard link, which
// fails on an existing name just the same.
static int RenameNoReplace(const char* from, const char* to) {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}

void AtomicFile::Commit(bool noReplace) {
  if (fd_ < 0) throw EFileError(SystemErrorText(EBADF));
  Flush();
  struct stat old {};
  const bool replacing = ::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  const mode_t mode = replacing ? old.st_mode & 07777 : 0666 & ~CurrentUmask();
  // As the desktop's own file replace does: a file that takes another's place reaches the disk
  // before the rename, so a crash leaves the old file or the whole new one, never an empty one.
  // A new name has nothing to lose, and the folder is not synced: either name is whole.
  if (::fchmod(fd_, mode) != 0 || (replacing && ::fsync(fd_) != 0)) Fail(errno);
  const int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) Fail(errno);
  if ((noReplace ? RenameNoReplace(temp_.c_str(), target_.c_str())
                 : ::rename(temp_.c_str(), target_.c_str())) != 0)
    Fail(errno);
  temp_.clear();
}

}  // namespace quendra
