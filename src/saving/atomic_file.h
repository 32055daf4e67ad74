#pragma once
// Writing a file so that it appears whole or not at all: the bytes go to a temporary file in the
// target's folder, which is flushed to disk (when it replaces a file) and renamed over the target.
// Any failure removes the temporary file and leaves what was at the target untouched. The save
// thread and quendra-convert both write through this.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quendra {

class AtomicFile {
 public:
  // Creates the temporary file; throws EFileError "<reason>" (the system's text) when it cannot.
  explicit AtomicFile(const std::string& target);
  // Without Commit, the temporary file is removed.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Buffered; throws EFileError when the disk is full or the file too large.
  void Write(const uint8_t* data, size_t size);
  // Gives the new file this owner and group where the process may; false when the owner cannot
  // be kept (the group is kept where it can be, as a file's owner may choose among their groups).
  bool KeepOwner(uid_t owner, gid_t group);
  // Flushes, syncs when a file is replaced, and renames into place. The new file gets the old
  // file's permissions, or the usual ones for a new file (0666 less the umask). With noReplace an
  // existing target stays and the commit fails with "File exists".
  void Commit(bool noReplace = false);

  const std::string& TemporaryName() const { return temp_; }

 private:
  void Flush();
  void WriteAll(const uint8_t* data, size_t size);
  [[noreturn]] void Fail(int error);

  std::string target_, temp_, folder_;
  int fd_ = -1;
  std::vector<uint8_t> buffer_;
};

// The reason for a failed file operation as the user reads it ("No space left on device").
std::string SystemErrorText(int error);

}  // namespace quendra
