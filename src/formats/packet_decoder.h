#pragma once
// TDecoder: the base of the packet codecs. Decode and Encode are the work; the init/end hooks
// let a codec set up or flush state around a run of calls and do nothing by default.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quendra {

class TDecoder {
 public:
  virtual ~TDecoder() = default;

  // Decodes exactly pixelCount pixels from src into dst (pixelCount * pixel bytes). Returns the
  // number of source bytes consumed. Throws EInvalidGraphic when src ends before the pixels do.
  virtual size_t Decode(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t pixelCount) = 0;
  virtual void DecodeInit() {}
  virtual void DecodeEnd() {}

  // Appends the packets for pixelCount pixels of src to out.
  virtual void Encode(const uint8_t* src, size_t pixelCount, std::vector<uint8_t>& out) = 0;
  virtual void EncodeInit() {}
  virtual void EncodeEnd() {}
};

}  // namespace quendra
