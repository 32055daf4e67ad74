// quendra-convert IN OUT [--fit WIDTHxHEIGHT]
// Loads IN exactly as the viewer does (fitted to a zoomer of WIDTH x HEIGHT, or at full size
// without --fit) and writes OUT in the format its extension names. On failure: one line on
// stderr, exit status 1, and no OUT file left behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "app/loader.h"
#include "app/paths.h"
#include "controls/zoomer.h"
#include "formats/format_table.h"
#include "formats/jpeg_image.h"
#include "formats/png_object.h"
#include "formats/targa_graphic.h"
#include "formats/tbitmap.h"

namespace {

using namespace quendra;

std::vector<uint8_t> Encode(const Bitmap& b, const std::string& out) {
  std::string ext = ExtractFileExt(out);
  for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return EncodeBmp(b);
  if (ext == ".png") return EncodePng(b);
  if (ext == ".jpg" || ext == ".jpeg") return EncodeJpeg(b, 90);
  if (ext == ".tga") return EncodeTarga(b);
  throw std::runtime_error("cannot write files of type \"" + ext + "\"");
}

// Writes to a temporary name beside OUT and renames it over OUT only when complete, so a
// failure never leaves a partial file nor destroys the one that was there.
void WriteAtomically(const std::string& out, const std::vector<uint8_t>& bytes) {
  std::string tmp = out + ".partXXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw std::runtime_error("cannot create " + out + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      throw std::runtime_error("cannot write " + out + ": " + std::strerror(err));
    }
    done += size_t(n);
  }
  ::fchmod(fd, 0644);
  if (::close(fd) != 0 || ::rename(tmp.c_str(), out.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    throw std::runtime_error("cannot write " + out + ": " + std::strerror(err));
  }
}

int Usage() {
  std::fprintf(stderr, "usage: quendra-convert IN OUT [--fit WIDTHxHEIGHT]\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int fitW = 0, fitH = 0;
  bool fit = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--fit" && i + 1 < args.size()) {
      char x = 0, extra = 0;
      if (std::sscanf(args[++i].c_str(), "%d%c%d%c", &fitW, &x, &fitH, &extra) != 3 || x != 'x' ||
          fitW <= 0 || fitH <= 0)
        return Usage();
      fit = true;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) return Usage();
  try {
    quendra::FileFormats();
    quendra::TZoomer img;
    img.SetCenter(true);
    img.SetStretch(fit);
    img.SetProportional(fit);
    if (fit) img.SetClientSize(fitW, fitH);
    quendra::LoadIntoZoomer(img, files[0]);
    auto* b = dynamic_cast<quendra::TBitmap*>(img.Picture().Graphic());
    if (!b) throw std::runtime_error("nothing was loaded");
    WriteAtomically(files[1], Encode(b->Image(), files[1]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quendra-convert: %s: %s\n", files[0].c_str(), e.what());
    return 1;
  }
  return 0;
}
