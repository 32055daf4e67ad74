#include "formats/graphic.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "formats/graphic_error.h"

namespace quendra {

const GraphicClass kTGraphicClass{"TGraphic", nullptr, nullptr};

bool GraphicClass::InheritsFrom(const GraphicClass* other) const {
  for (const GraphicClass* c = this; c; c = c->parent)
    if (c == other) return true;
  return false;
}

void TGraphic::LoadFromFile(const std::string& path) {
  auto data = ReadWholeFile(path);
  LoadFromMemory(data);
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

PixelBuffer ReadWholeFile(const std::string& path) {
  Fd f{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (f.fd < 0) throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(errno));
  struct stat st {};
  if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
    throw EFileError("Cannot open file \"" + path + "\". Not a regular file");
  PixelBuffer data(size_t(st.st_size));
  size_t got = 0;
  while (got < data.size()) {
    ssize_t n = ::read(f.fd, data.data() + got, data.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFileError("Cannot read file \"" + path + "\". " + std::strerror(errno));
    if (n == 0) break;
    got += size_t(n);
  }
  data.resize(got);
  return data;
}

}  // namespace quendra
