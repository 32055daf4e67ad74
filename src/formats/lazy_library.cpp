#include "formats/lazy_library.h"

#include <dlfcn.h>

#include "base/errors.h"

namespace quendra {

void* LazyLibrary::Symbol(const char* name) {
  std::call_once(opened_, [this] {
    // Its own names stay to itself: nothing else in the program may bind to them by accident.
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) error_ = dlerror();
  });
  if (!handle_)
    throw EInvalidGraphic(std::string(format_) + " pictures need " + soname_ +
                          ", which could not be loaded: " + error_);
  void* f = dlsym(handle_, name);
  if (!f)
    throw EInvalidGraphic(std::string(format_) + " pictures need " + name + " from " + soname_ +
                          ", which it lacks");
  return f;
}

}  // namespace quendra
