#include "formats/graphic.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/errors.h"
#include "formats/mapping_guard.h"

namespace quendra {

const GraphicClass kTGraphicClass{"TGraphic", nullptr, nullptr};

bool GraphicClass::InheritsFrom(const GraphicClass* other) const {
  for (const GraphicClass* c = this; c; c = c->parent)
    if (c == other) return true;
  return false;
}

namespace {
// The file LoadFromFile has mapped for the reader running on this thread.
thread_local std::span<const uint8_t> mappedForReader;
}  // namespace

void DoneWithFileBytes(std::span<const uint8_t> bytes) {
  const auto mapped = mappedForReader;
  if (bytes.empty() || mapped.empty() || bytes.data() < mapped.data() ||
      bytes.data() + bytes.size() > mapped.data() + mapped.size())
    return;
  const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
  const uintptr_t from = (uintptr_t(bytes.data()) + page - 1) / page * page;
  const uintptr_t to = (uintptr_t(bytes.data()) + bytes.size()) / page * page;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

void TGraphic::LoadFromFile(const std::string& path) {
  MappedFile file(path);
  struct Scope {
    std::span<const uint8_t> before = mappedForReader;
    ~Scope() { mappedForReader = before; }
  } scope;
  mappedForReader = file.Mapped() ? file.Bytes() : std::span<const uint8_t>();
  const auto shrunk = [&] {
    return EFileError("Cannot read file \"" + path + "\". It was shortened while being read");
  };
  try {
    LoadFromMemory(file.Bytes());
  } catch (const std::exception&) {
    // The reader saw zeros where the file's end had been: that, not the zeros, is the fault.
    if (file.Shrunk()) throw shrunk();
    throw;
  }
  if (file.Shrunk()) throw shrunk();
}

void TGraphic::AssignTo(Bitmap&) const {
  throw EInvalidGraphicOperation(std::string("Cannot assign a ") + ClassName() + " to a TBitmap");
}

namespace {
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};
}  // namespace

int OpenRegularFile(const std::string& path) {
  // O_NONBLOCK so that a FIFO without a writer (or a device) cannot hold open(); only a regular
  // file is then read, in blocking mode.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  Fd f{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EFileError("Cannot open file \"" + path + "\". Not a regular file");
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  f.fd = -1;
  return fd;
}

MappedFile::MappedFile(const std::string& path) {
  Fd f{OpenRegularFile(path)};
  struct stat st {};
  if (::fstat(f.fd, &st) != 0)
    throw EFileError("Cannot read file \"" + path + "\". " + std::strerror(errno));
  if (st.st_size == 0) return;  // nothing to map; Bytes() is an empty span over a real byte
  const size_t size = size_t(st.st_size);
  void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, f.fd, 0);
  if (p == MAP_FAILED)
    throw EFileError("Cannot read file \"" + path + "\". " + std::strerror(errno));
  guard_ = std::make_unique<MappingGuard>(p, size);
  data_ = static_cast<const uint8_t*>(p);
  size_ = size;
  if (guard_->Active()) return;
  // Every guard is in use: read the bytes instead; a short read is a file that shrank.
  ::munmap(p, size);
  guard_.reset();
  data_ = &kNothing;
  size_ = 0;
  copy_.resize(size);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(f.fd, copy_.data() + got, size - got, off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError("Cannot read file \"" + path + "\". " + std::strerror(errno));
    if (n == 0) break;
    got += size_t(n);
  }
  shrunk_ = got < size;
  std::fill(copy_.begin() + std::ptrdiff_t(got), copy_.end(), uint8_t(0));
  data_ = copy_.data();
  size_ = size;
}

MappedFile::~MappedFile() {
  if (guard_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

bool MappedFile::Shrunk() const {
  return shrunk_ || (guard_ && guard_->Faulted());
}

}  // namespace quendra
