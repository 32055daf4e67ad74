#include "formats/graphic.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "base/errors.h"

namespace quendra {

const GraphicClass kTGraphicClass{"TGraphic", nullptr, nullptr};

bool GraphicClass::InheritsFrom(const GraphicClass* other) const {
  for (const GraphicClass* c = this; c; c = c->parent)
    if (c == other) return true;
  return false;
}

void TGraphic::LoadFromFile(const std::string& path) {
  MappedFile file(path);
  LoadFromMemory(file.Bytes());
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

MappedFile::MappedFile(const std::string& path) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (f.fd < 0) throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EFileError("Cannot open file \"" + path + "\". Not a regular file");
  if (st.st_size == 0) return;  // nothing to map; Bytes() is an empty span over a real byte
  void* p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, f.fd, 0);
  if (p == MAP_FAILED)
    throw EFileError("Cannot read file \"" + path + "\". " + std::strerror(errno));
  data_ = static_cast<const uint8_t*>(p);
  size_ = size_t(st.st_size);
}

MappedFile::~MappedFile() {
  if (size_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

}  // namespace quendra
