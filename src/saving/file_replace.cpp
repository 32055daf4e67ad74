#include "saving/file_replace.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "base/errors.h"
#include "base/paths.h"
#include "saving/atomic_file.h"

namespace quendra {

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit

[[noreturn]] void Fail(int error) {
  throw EFileError(SystemErrorText(error));
}

// The old file's bytes are overwritten only after every new byte is known and the room for them
// is taken, so what can be checked beforehand (disk space, the file-size limit) fails first.
void WriteInPlace(const std::string& path, const std::vector<uint8_t>& bytes) {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      bytes.size() > limit.rlim_cur)
    Fail(EFBIG);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) Fail(errno);
  auto failClosing = [fd](int error) {
    ::close(fd);
    Fail(error);
  };
  if (!bytes.empty() && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS && errno != EINVAL)
    failClosing(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t w = ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(done));
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) failClosing(errno);
    if (w == 0) failClosing(ENOSPC);
    done += size_t(w);
  }
  if (::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0) failClosing(errno);
  if (::close(fd) != 0) Fail(errno);
}

}  // namespace

std::string FollowSymlinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf);
    if (n <= 0 || size_t(n) >= sizeof buf) return current;
    std::string link(buf, size_t(n));
    // A relative link is relative to the folder that holds it.
    current = link[0] == kPathDelimiter ? link : ExtractFilePath(current) + link;
  }
  Fail(ELOOP);
}

void ReplaceFile(const std::string& target, const std::function<void(const ByteSink&)>& encode,
                 ReplaceMode mode) {
  const std::string path = FollowSymlinks(target);
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  if (exists) {
    if (mode == ReplaceMode::NoReplace) Fail(EEXIST);
    if (S_ISDIR(old.st_mode)) Fail(EISDIR);
    if (!S_ISREG(old.st_mode)) throw EFileError("Not a regular file");
    // The folder's permission would let the rename through; the file's own must decide.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) Fail(errno);
  }
  if (!(exists && old.st_nlink > 1)) {
    AtomicFile file(path);
    if (!exists || file.KeepOwner(old.st_uid, old.st_gid)) {
      encode([&](const uint8_t* p, size_t n) { file.Write(p, n); });
      file.Commit(mode == ReplaceMode::NoReplace);
      return;
    }
    // The owner cannot be kept: the temporary is removed as `file` goes.
  }
  std::vector<uint8_t> bytes;
  encode([&](const uint8_t* p, size_t n) { bytes.insert(bytes.end(), p, p + n); });
  WriteInPlace(path, bytes);
}

}  // namespace quendra
