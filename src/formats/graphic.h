#pragma once
// TGraphic: the base of every picture format class. A graphic is created empty, reads a file or
// a block of memory, tells its size, and hands its picture over as a Bitmap.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/bitmap.h"
#include "formats/picture_metadata.h"

namespace quendra {

class TGraphic;

// A class reference for the format table: name, parent class, and a factory (null when this
// build has no reader for the class; loading such a file fails with a clear message).
struct GraphicClass {
  const char* name;
  const GraphicClass* parent;
  std::unique_ptr<TGraphic> (*create)();
  bool InheritsFrom(const GraphicClass* other) const;
};

class TGraphic {
 public:
  virtual ~TGraphic() = default;
  virtual const GraphicClass& Class() const = 0;
  const char* ClassName() const { return Class().name; }

  // Reads a whole file (path as UTF-8 bytes). The default maps it and calls LoadFromMemory, so
  // only the pages a reader touches are read; a failure leaves the graphic unusable and throws.
  virtual void LoadFromFile(const std::string& path);
  virtual void LoadFromMemory(std::span<const uint8_t> data) = 0;

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const { return Width() <= 0 || Height() <= 0; }

  // Puts the picture into dst as a bitmap in the graphic's own pixel format. Graphics that
  // cannot become a bitmap throw "Cannot assign a <class> to a TBitmap".
  virtual void AssignTo(Bitmap& dst) const;
  // As AssignTo, but may move the pixels out; the graphic is empty afterwards. Used where the
  // graphic is discarded right after.
  virtual void HandOver(Bitmap& dst) { AssignTo(dst); }

  // Transparency flag of the graphic (the zoomer copies its own flag into it).
  virtual bool Transparent() const { return transparent_; }
  virtual void SetTransparent(bool v) { transparent_ = v; }
  // Palette contract: true-colour displays have nothing to realise; kept for the zoomer.
  virtual bool HasPalette() const { return false; }
  bool PaletteModified = false;

  // Fired after the graphic's picture changed (a JPEG scale change, for instance).
  std::function<void()> OnChange;

  // The orientation and colour space the file gives its stored pixels; Width, Height and the
  // bitmap stay as stored. Read once the file is loaded.
  const PictureMetadata& Metadata() const { return metadata_; }

 protected:
  PictureMetadata metadata_;

  void Changed() {
    if (OnChange) OnChange();
  }

 private:
  bool transparent_ = false;
};

// Opens path for reading only when it is a regular file, without blocking on a FIFO or a
// device on the way; EFileError with the path otherwise. Returns the descriptor (close-on-exec).
int OpenRegularFile(const std::string& path);

class MappingGuard;

// A regular file mapped read-only for the lifetime of the object; EFileError with the path when
// it cannot be. An empty file gives an empty span whose pointer is still valid, so readers never
// hand a null pointer to memcpy. A file shortened by another program while it is read never
// raises a signal: the lost pages read as zeros and Shrunk() turns true.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  bool Shrunk() const;
  bool Mapped() const { return guard_ != nullptr; }

 private:
  static constexpr uint8_t kNothing = 0;
  const uint8_t* data_ = &kNothing;
  size_t size_ = 0;
  std::unique_ptr<MappingGuard> guard_;
  std::vector<uint8_t> copy_;  // the bytes when no guard was free
  bool shrunk_ = false;
};

// A reader is done with these bytes of what it was given: when they belong to the file that
// TGraphic::LoadFromFile mapped on this thread, their whole pages leave the process's memory
// (read again, they come back from the file). Anything else is left alone. A reader that copies
// a large file once calls this as it goes, so it never holds the file and the picture at once.
void DoneWithFileBytes(std::span<const uint8_t> bytes);

// How much a reader walking its file once reads before it hands the bytes back.
constexpr size_t kFileBytesGivenBack = size_t(4) << 20;

// For a reader that walks its file once, front to back: tell it how far the reading has got,
// and every kFileBytesGivenBack the bytes behind go back (DoneWithFileBytes).
class FileReadOnce {
 public:
  explicit FileReadOnce(const uint8_t* start) : from_(start) {}
  void ReadUpTo(const uint8_t* at) {
    if (size_t(at - from_) < kFileBytesGivenBack) return;
    DoneWithFileBytes({from_, at});
    from_ = at;
  }

 private:
  const uint8_t* from_;
};

// The base class reference every graphic class derives from.
extern const GraphicClass kTGraphicClass;

}  // namespace quendra
