// The sequence header fields up to the maximum frame size (section 5.5.1 of the AV1 bitstream
// format), and the OBU framing around it (section 5.3).
#include "formats/av1_coded_size.h"

#include "formats/bit_reader.h"

namespace quendra {

namespace {

std::optional<Av1Size> SequenceHeaderSize(std::span<const uint8_t> obu) {
  BitReader r(obu);
  r.Bits(3);  // seq_profile
  r.Bits(1);  // still_picture
  if (r.Bits(1)) {
    r.Bits(5);  // reduced_still_picture_header: one level, nothing else
  } else {
    bool decoderModel = false;
    int delayBits = 0;
    if (r.Bits(1)) {  // timing_info_present_flag
      r.Bits(32), r.Bits(32);
      if (r.Bits(1)) r.ExpGolomb();  // equal_picture_interval
      decoderModel = r.Bits(1) != 0;
      if (decoderModel) {
        delayBits = int(r.Bits(5)) + 1;
        r.Bits(32), r.Bits(5), r.Bits(5);
      }
    }
    const bool displayDelay = r.Bits(1) != 0;
    const int points = int(r.Bits(5)) + 1;
    for (int i = 0; i < points && !r.Failed(); ++i) {
      r.Bits(12);                    // operating_point_idc
      if (r.Bits(5) > 7) r.Bits(1);  // seq_level_idx, seq_tier
      if (decoderModel && r.Bits(1)) r.Bits(delayBits), r.Bits(delayBits), r.Bits(1);
      if (displayDelay && r.Bits(1)) r.Bits(4);
    }
  }
  const int widthBits = int(r.Bits(4)) + 1, heightBits = int(r.Bits(4)) + 1;
  const uint32_t w = r.Bits(widthBits) + 1, h = r.Bits(heightBits) + 1;
  if (r.Failed()) return std::nullopt;
  return Av1Size{w, h};
}

}  // namespace

std::optional<Av1Size> Av1CodedSize(std::span<const uint8_t> obus) {
  size_t at = 0;
  for (int n = 0; n < 8 && at < obus.size(); ++n) {
    const uint8_t header = obus[at++];
    const int type = (header >> 3) & 15;
    if (header & 4) ++at;  // extension header
    size_t size = obus.size() > at ? obus.size() - at : 0;
    if (header & 2) {  // leb128 size field
      uint64_t v = 0;
      for (int i = 0;; ++i) {
        if (i == 8 || at >= obus.size()) return std::nullopt;
        const uint8_t b = obus[at++];
        v |= uint64_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) break;
      }
      if (v > obus.size() - at) return std::nullopt;
      size = size_t(v);
    }
    if (at > obus.size()) return std::nullopt;
    if (type == 1) return SequenceHeaderSize(obus.subspan(at, size));
    at += size;
  }
  return std::nullopt;
}

}  // namespace quendra
