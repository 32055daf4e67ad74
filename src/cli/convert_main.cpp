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

// Hands the encoded file to the sink; BMP streams row by row, the others encode in memory.
void Encode(const Bitmap& b, const std::string& out, const ByteSink& sink) {
  std::string ext = ExtractFileExt(out);
  for (auto& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".bmp") return WriteBmp(b, sink);
  std::vector<uint8_t> bytes;
  if (ext == ".png")
    bytes = EncodePng(b);
  else if (ext == ".jpg" || ext == ".jpeg")
    bytes = EncodeJpeg(b, 90);
  else if (ext == ".tga")
    bytes = EncodeTarga(b);
  else
    throw std::runtime_error("cannot write files of type \"" + ext + "\"");
  sink(bytes.data(), bytes.size());
}

// Writes to a temporary name beside OUT and renames it over OUT only when complete, so a
// failure never leaves a partial file nor destroys the one that was there.
class AtomicFile {
 public:
  explicit AtomicFile(const std::string& out) : out_(out), tmp_(out + ".partXXXXXX") {
    fd_ = ::mkstemp(tmp_.data());
    if (fd_ < 0) throw std::runtime_error("cannot create " + out + ": " + std::strerror(errno));
    buffer_.reserve(kBuffer);
  }
  ~AtomicFile() {
    if (fd_ >= 0) {
      ::close(fd_);
      ::unlink(tmp_.c_str());
    }
  }
  void Write(const uint8_t* p, size_t n) {
    if (buffer_.size() + n > kBuffer) Flush();
    if (n >= kBuffer) return WriteAll(p, n);
    buffer_.insert(buffer_.end(), p, p + n);
  }
  void Commit() {
    Flush();
    ::fchmod(fd_, 0644);
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0 || ::rename(tmp_.c_str(), out_.c_str()) != 0) {
      int err = errno;
      ::unlink(tmp_.c_str());
      throw std::runtime_error("cannot write " + out_ + ": " + std::strerror(err));
    }
  }

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  void Flush() {
    WriteAll(buffer_.data(), buffer_.size());
    buffer_.clear();
  }
  void WriteAll(const uint8_t* p, size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd_, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) throw std::runtime_error("cannot write " + out_ + ": " + std::strerror(errno));
      p += w;
      n -= size_t(w);
    }
  }
  std::string out_, tmp_;
  int fd_ = -1;
  std::vector<uint8_t> buffer_;
};

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
    AtomicFile out(files[1]);
    Encode(b->Image(), files[1], [&](const uint8_t* p, size_t n) { out.Write(p, n); });
    out.Commit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quendra-convert: %s: %s\n", files[0].c_str(), e.what());
    return 1;
  }
  return 0;
}
