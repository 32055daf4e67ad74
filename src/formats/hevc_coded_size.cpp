// The sequence parameter set fields up to the picture size (ITU-T H.265, 7.3.2.2 and the
// profile_tier_level of 7.3.3), inside the decoder configuration record of ISO/IEC 14496-15.
#include "formats/hevc_coded_size.h"

#include <vector>

#include "formats/bit_reader.h"

namespace quendra {

namespace {

// The parameter set's payload without its two-byte header and its emulation prevention bytes
// (each 0x03 after two zero bytes).
std::vector<uint8_t> Payload(std::span<const uint8_t> nal) {
  std::vector<uint8_t> out;
  int zeros = 0;
  for (size_t i = 2; i < nal.size() && out.size() < 512; ++i) {
    if (zeros >= 2 && nal[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = nal[i] == 0 ? zeros + 1 : 0;
    out.push_back(nal[i]);
  }
  return out;
}

std::optional<HevcSize> ParameterSetSize(std::span<const uint8_t> nal) {
  const std::vector<uint8_t> payload = Payload(nal);
  BitReader r(payload);
  r.Bits(4);  // sps_video_parameter_set_id
  const int subLayers = int(r.Bits(3));
  r.Bits(1);       // sps_temporal_id_nesting_flag
  r.Skip(88 + 8);  // general profile, tier, flags and level
  bool profile[8] = {}, level[8] = {};
  for (int i = 0; i < subLayers; ++i) profile[i] = r.Bits(1) != 0, level[i] = r.Bits(1) != 0;
  if (subLayers > 0) r.Skip(2 * size_t(8 - subLayers));  // reserved_zero_2bits
  for (int i = 0; i < subLayers; ++i) r.Skip((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
  r.ExpGolomb();                      // sps_seq_parameter_set_id
  if (r.ExpGolomb() == 3) r.Bits(1);  // chroma_format_idc; separate_colour_plane_flag
  const uint32_t w = r.ExpGolomb(), h = r.ExpGolomb();
  if (r.Failed()) return std::nullopt;
  return HevcSize{w, h};
}

}  // namespace

std::optional<HevcSize> HevcCodedSize(std::span<const uint8_t> hvcc) {
  constexpr size_t kHeader = 23;  // the fixed fields before numOfArrays
  if (hvcc.size() < kHeader) return std::nullopt;
  size_t at = kHeader - 1;
  const int arrays = hvcc[at++];
  for (int a = 0; a < arrays; ++a) {
    if (hvcc.size() - at < 3) return std::nullopt;
    const int type = hvcc[at] & 0x3F;
    const int count = hvcc[at + 1] << 8 | hvcc[at + 2];
    at += 3;
    for (int n = 0; n < count; ++n) {
      if (hvcc.size() - at < 2) return std::nullopt;
      const size_t length = size_t(hvcc[at] << 8 | hvcc[at + 1]);
      at += 2;
      if (length > hvcc.size() - at) return std::nullopt;
      if (type == 33) return ParameterSetSize(hvcc.subspan(at, length));  // SPS_NUT
      at += length;
    }
  }
  return std::nullopt;
}

}  // namespace quendra
