#pragma once
// Errors carry the system's own messages verbatim; the loader catches them all.
#include <stdexcept>
#include <string>

namespace quendra {

// A file that is not a valid picture of its format (bad signature, truncated, hostile sizes).
struct EInvalidGraphic : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An operation the graphic cannot perform ("Cannot assign a %s to a %s").
struct EInvalidGraphicOperation : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A file that cannot be opened, read or written.
struct EFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace quendra
