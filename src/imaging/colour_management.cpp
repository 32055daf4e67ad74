#include "imaging/colour_management.h"

#include <algorithm>
#include <list>
#include <memory>
#include <mutex>
#include <string_view>

#include "imaging/colour_transform.h"

namespace quendra {

namespace {

// Making a transform costs far more than running it on a fitted picture, and a folder's
// pictures mostly share a handful of profiles: the last few are kept, broken ones too (as null)
// so a bad profile is parsed once.
constexpr size_t kCachedTransforms = 8;

struct Key {
  size_t hash = 0;
  size_t size = 0;
  bool grey = false;
  uint64_t generation = 0;  // of the output profile the transform was made for
  bool operator==(const Key&) const = default;
};

size_t Hash(const void* data, size_t size) {
  return std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(data), size));
}

// A profile is known by its bytes' hash and size; primaries and curve by their numbers (size 0
// keeps them apart from profiles); no colour space by a key of its own.
Key KeyOf(const ColourSpace& c) {
  if (!c.icc.empty()) return {Hash(c.icc.data(), c.icc.size()), c.icc.size(), c.grey};
  if (c.calibrated) {
    const CalibratedRgb& r = *c.calibrated;
    double numbers[10] = {r.white[0], r.white[1], r.red[0],  r.red[1], r.green[0],
                          r.green[1], r.blue[0],  r.blue[1], r.gamma,  double(r.curve)};
    return {Hash(numbers, sizeof numbers) | 1, 0};
  }
  return {};
}

struct Shared {
  std::mutex mutex;
  std::shared_ptr<const std::vector<uint8_t>> output = std::make_shared<std::vector<uint8_t>>();
  uint64_t generation = 0;
  std::list<std::pair<Key, std::shared_ptr<const ColourTransform>>> recent;  // newest first
};

Shared& State() {
  static Shared s;
  return s;
}

}  // namespace

namespace {

// The transform from `from` to the output profile, made once and cached; null when none is
// needed (the picture is in the output's space) or none can be made (a broken profile).
std::shared_ptr<const ColourTransform> TransformFor(const ColourSpace& from) {
  Shared& s = State();
  std::shared_ptr<const std::vector<uint8_t>> output;
  std::shared_ptr<const ColourTransform> transform;
  Key key = KeyOf(from);  // hashed outside the lock: a profile may be megabytes
  {
    std::lock_guard lock(s.mutex);
    output = s.output;
    key.generation = s.generation;
    auto hit = std::find_if(s.recent.begin(), s.recent.end(),
                            [&](const auto& entry) { return entry.first == key; });
    if (hit != s.recent.end()) {
      s.recent.splice(s.recent.begin(), s.recent, hit);
      return hit->second;
    }
  }
  // Pictures without a space are sRGB, as is the output unless a display profile is set; a
  // picture in the output's own profile needs nothing either.
  if (from.Known() ? !from.icc.empty() && from.icc == *output : output->empty()) return nullptr;
  // Made outside the lock: the other loading thread need not wait for it.
  transform = ColourTransform::Create(from, *output);
  std::lock_guard lock(s.mutex);
  const bool there = std::any_of(s.recent.begin(), s.recent.end(),
                                 [&](const auto& entry) { return entry.first == key; });
  if (key.generation == s.generation && !there) {
    s.recent.emplace_front(key, transform);
    if (s.recent.size() > kCachedTransforms) s.recent.pop_back();
  }
  return transform;
}

}  // namespace

void ConvertToOutputColours(Bitmap& b, const ColourSpace& from) {
  if (b.Empty()) return;
  if (const auto transform = TransformFor(from)) transform->Apply(b);
}

RowColours OutputColoursForRows(const ColourSpace& from) {
  auto transform = TransformFor(from);
  if (!transform) return {};
  return [t = std::move(transform)](uint8_t* row, int width) { t->Pixels(row, size_t(width), 4); };
}

void PrepareOutputColours(const ColourSpace& from) {
  TransformFor(from);
}

void SetOutputProfile(std::vector<uint8_t> icc) {
  if (!IsRgbProfile(icc)) icc.clear();  // a display profile that cannot be used: sRGB
  auto output = std::make_shared<const std::vector<uint8_t>>(std::move(icc));
  std::lock_guard lock(State().mutex);
  Shared& s = State();
  s.output = std::move(output);
  ++s.generation;
  s.recent.clear();
}

}  // namespace quendra
