// Decoder libraries opened on first use: a missing library or function is a load failure that
// names what is missing, every time it is asked for, and never a crash.
#include "formats/lazy_library.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/errors.h"

namespace quendra {
namespace {

std::string FailureOf(LazyLibrary& lib, const char* name) {
  try {
    lib.Symbol(name);
  } catch (const EInvalidGraphic& e) {
    return e.what();
  }
  return "(no failure)";
}

TEST(LazyLibrary, AMissingLibraryOrFunctionFailsEachTimeWithItsName) {
  LazyLibrary absent("AVIF", "libquendra-absent.so.1");
  const std::string first = FailureOf(absent, "avifDecoderCreate");
  EXPECT_EQ(first.rfind("AVIF pictures need libquendra-absent.so.1, which could not be loaded", 0),
            0u)
      << first;
  EXPECT_EQ(FailureOf(absent, "avifDecoderCreate"), first);

  LazyLibrary libm("Test", "libm.so.6");
  EXPECT_EQ(FailureOf(libm, "no_such_function"),
            "Test pictures need no_such_function from libm.so.6, which it lacks");
  using Cos = double (*)(double);
  EXPECT_EQ(libm.Function<Cos>("cos")(0.0), 1.0);
}

}  // namespace
}  // namespace quendra
