#include "base/geometry.h"

#include <limits>

namespace quendra {

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  int64_t num = int64_t(a) * int64_t(b);
  bool negative = (num < 0) != (c < 0);
  uint64_t un = num < 0 ? uint64_t(-num) : uint64_t(num);
  uint64_t uc = c < 0 ? uint64_t(-int64_t(c)) : uint64_t(c);
  uint64_t q = (un + uc / 2) / uc;  // halves round away from zero
  if (q > uint64_t(std::numeric_limits<int>::max()) + (negative ? 1u : 0u)) return -1;
  return negative ? int(-int64_t(q)) : int(q);
}

}  // namespace quendra
