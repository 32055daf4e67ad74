// quendra-convert IN OUT [--fit WIDTHxHEIGHT]
// Loads IN exactly as the viewer does (fitted to a zoomer of WIDTH x HEIGHT, or at full size
// without --fit) and writes OUT with the save thread's writers, in the format its extension
// names. On failure: one line on stderr, exit status 1, no OUT file left behind and an existing
// OUT untouched.
#include <csignal>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/loader.h"
#include "base/paths.h"
#include "controls/zoomer.h"
#include "formats/format_table.h"
#include "formats/tbitmap.h"
#include "saving/save_by_extension.h"

namespace {

constexpr const char* kUsage =
    "usage: quendra-convert IN OUT [--fit WIDTHxHEIGHT]\n"
    "Loads IN as the viewer does (fitted into WIDTH x HEIGHT with --fit, else at full size)\n"
    "and writes OUT with the viewer's writers and settings, in the format OUT's extension\n"
    "names:\n"
    "  .bmp              Windows bitmap, in the picture's own pixel format\n"
    "  .jpg .jpeg        JPEG, quality 90, baseline\n"
    "  .png              PNG, Sub/Up row filters, deflate level 8\n"
    "  .gif              GIF, octree palette (deep pictures), no dithering\n"
    "  .tga              Targa, run-length encoded\n"
    "  .jp2 .j2k .jpc    JPEG 2000 (a JP2 file), quality 97\n"
    "  .emf              enhanced metafile holding the picture as one bitmap\n"
    "OUT is written whole or not at all: an existing OUT survives any failure.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  int fitW = 0, fitH = 0;
  bool fit = false;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
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
  // A file-size limit makes the write fail with an error instead of ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  std::string failing = files[1];  // the file the message names
  try {
    // Unlike the viewer, a batch tool never writes under another name than it was given.
    const auto format = quendra::WriterForExtension(files[1]);
    if (!format)
      throw std::runtime_error("cannot write files of type \"" + quendra::ExtractFileExt(files[1]) +
                               "\" (see --help)");
    failing = files[0];
    quendra::FileFormats();
    quendra::TZoomer img;
    img.SetCenter(true);
    img.SetStretch(fit);
    img.SetProportional(fit);
    if (fit) img.SetClientSize(fitW, fitH);
    quendra::LoadIntoZoomer(img, files[0]);
    auto* b = dynamic_cast<quendra::TBitmap*>(img.Picture().Graphic());
    if (!b) throw std::runtime_error("nothing was loaded");
    failing = files[1];
    quendra::WritePictureFile(b->Image(), *format, files[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quendra-convert: %s: %s\n", failing.c_str(), e.what());
    return 1;
  }
  return 0;
}
