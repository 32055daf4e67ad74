#pragma once
// TPicture: the container of one graphic, chosen by file extension through the format table.
// TTntPicture is the same container for this platform's paths (UTF-8 byte strings, which every
// reader opens directly, so no temporary copy is made).
#include <functional>
#include <memory>
#include <string>

#include "formats/graphic.h"

namespace quendra {

class TBitmap;

class TPicture {
 public:
  virtual ~TPicture() = default;

  // Loads a file with the class registered for its extension. On failure the error passes on
  // and the picture keeps what it held. "Unknown picture file extension (.%s)" when none.
  void LoadFromFile(const std::string& path);

  TGraphic* Graphic() const { return graphic_.get(); }
  void SetGraphic(std::unique_ptr<TGraphic> g);
  // The picture now holds a TBitmap with these pixels.
  void AssignBitmap(Bitmap bmp);
  // The picture read as a bitmap: a held TBitmap (or descendant) itself; anything else is
  // replaced by a TBitmap (empty when there was no graphic, converted otherwise).
  TBitmap& AsBitmap();

  int Width() const { return graphic_ ? graphic_->Width() : 0; }
  int Height() const { return graphic_ ? graphic_->Height() : 0; }

  // Fired after every change of the held graphic or of its picture.
  std::function<void()> OnChange;
  void Changed() {
    ++version_;
    if (OnChange) OnChange();
  }
  // Counts changes, so that a view can tell whether its copy of the pixels is current.
  uint64_t Version() const { return version_; }

 private:
  std::unique_ptr<TGraphic> graphic_;
  uint64_t version_ = 0;
};

class TTntPicture : public TPicture {};

// The extension the container uses: text after the last dot of the file name, without the dot.
std::string PictureExtension(const std::string& path);

}  // namespace quendra
