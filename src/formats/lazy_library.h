#pragma once
// A decoder library opened on the first picture that needs it. libavif, libheif and libjxl bring
// a dozen more (AV1 and HEVC codecs, their encoders, Brotli, Highway), libtiff four more, and
// their loading and start-up cost every run of the program more than a fitted JPEG load; most
// runs never meet such a file. Even libpng, giflib and littlecms cost a start almost a
// millisecond that a JPEG in sRGB never needs back. Each of those libraries gets a file of
// forwarders with the library's own function names, so its reader is written against the library's
// headers as usual.
#include <mutex>
#include <string>

namespace quendra {

class LazyLibrary {
 public:
  // `format` names the pictures that need it, for the message when it is missing.
  LazyLibrary(const char* format, const char* soname) : format_(format), soname_(soname) {}
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // The function's address; throws EInvalidGraphic when the library or the function is missing,
  // so such a picture fails to load like a damaged one and every other picture still opens.
  void* Symbol(const char* name);
  template <class F>
  F Function(const char* name) {
    return reinterpret_cast<F>(Symbol(name));
  }

 private:
  const char* format_;
  const char* soname_;
  std::once_flag opened_;
  void* handle_ = nullptr;  // never closed: the forwarders keep its addresses
  std::string error_;
};

}  // namespace quendra

// Defines the library function `name` (declared by the library's header) to call the one in
// `library`, looked up once.
#define QUENDRA_FORWARD(library, ret, name, params, args)                  \
  extern "C" ret name params {                                             \
    static const auto real = (library).Function<decltype(&::name)>(#name); \
    return real args;                                                      \
  }
