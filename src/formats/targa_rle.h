#pragma once
// TTargaRLEDecoder: Targa run-length packets. A header byte with bit 7 set is a run (one pixel
// repeated (h & 0x7F) + 1 times), clear a raw packet of (h & 0x7F) + 1 pixels.
#include "formats/packet_decoder.h"

namespace quendra {

class TTargaRLEDecoder : public TDecoder {
 public:
  // pixelBits: 8, 15, 16, 24 or 32.
  explicit TTargaRLEDecoder(int pixelBits);

  // Packets may run across the end of one Decode call into the next (they do across rows): the
  // unfinished part of a packet is remembered. DecodeInit forgets it.
  size_t Decode(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t pixelCount) override;
  void DecodeInit() override { pending_ = 0; }

  // Encodes one row by itself: packets never cross the end of what is given.
  void Encode(const uint8_t* src, size_t pixelCount, std::vector<uint8_t>& out) override;

  int PixelBytes() const { return bpp_; }

 private:
  int bpp_;
  // Pixels still owed by the packet the previous call ended in; a run repeats runPixel_.
  size_t pending_ = 0;
  bool pendingRun_ = false;
  uint8_t runPixel_[4] = {};
};

}  // namespace quendra
