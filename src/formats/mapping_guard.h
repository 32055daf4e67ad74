#pragma once
// A read-only file mapping outlives no promise about the file: another program may shorten it
// while a reader walks the pages, and touching a page past the new end raises SIGBUS. While a
// MappingGuard covers a range, a SIGBUS inside it puts a page of zeros in place of the lost one
// and marks the guard; the reader goes on over zeros and its caller reports the file as changed.
// Faults outside every guarded range go to the handler that was there before.
#include <cstddef>

namespace quendra {

class MappingGuard {
 public:
  // Guards [begin, begin + size). Active() is false when every slot is taken (the caller then
  // reads the file into memory instead).
  MappingGuard(const void* begin, size_t size);
  ~MappingGuard();
  MappingGuard(const MappingGuard&) = delete;
  MappingGuard& operator=(const MappingGuard&) = delete;
  bool Active() const { return slot_ >= 0; }
  // True once a page of the range was lost to a shortened file.
  bool Faulted() const;

 private:
  int slot_ = -1;
};

}  // namespace quendra
