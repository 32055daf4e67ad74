// The commands that take the picture out of the window: copy and capture to the clipboard,
// save and capture to a file.
#include <stdexcept>

#include "app/main_form.h"
#include "base/paths.h"
#include "formats/tbitmap.h"
#include "imaging/resample.h"
#include "saving/save_naming.h"

namespace quendra {

const std::array<SaveFilter, 8> kSaveFilters{{
    {"Graphic Files(*.jpg;*.png;*.bmp;*.jp2;*.tga;*.gif;*.emf}",
     "*.jpg;*.png;*.bmp;*.jp2;*.tga;*.gif;*.emf"},
    {"JPEG Image (*.jpg)", "*.jpg"},
    {"Portable Networks Graphic (*.png)", "*.png"},
    {"Windows Bitmap (*.bmp)", "*.bmp"},
    {"JPEG 2000 (*.jp2)", "*.jp2"},
    {"Targa Image (*.tga)", "*.tga"},
    {"GIF Image (*.gif)", "*.gif"},
    {"Enhanced Metafile (*.emf)", "*.emf"},
}};

namespace {

// The bitmap IMG holds, or null when nothing is loaded.
const Bitmap* HeldBitmap(TTNTZoomer& img) {
  const TGraphic* g = img.Picture().Graphic();
  if (!g || g->Empty()) return nullptr;
  return &img.Picture().AsBitmap().Image();
}

// The held bitmap at the size it is displayed: resampled when zoomed, else a plain copy.
Bitmap DisplayedCopy(const TTNTZoomer& img, const Bitmap& held) {
  if (img.ZoomPercent() != 100) return Resampled(held, img.DestWidth(), img.DestHeight());
  return held;
}

}  // namespace

Bitmap TForm1::CapturePictureArea() {
  Bitmap bitmap = NewBitmap32(IMG.ClientWidth(), IMG.ClientHeight());
  capture_.RenderPictureArea(bitmap);
  return bitmap;
}

void TForm1::CopyAndPaste(const Bitmap& bitmap) {
  if (!clipboard_.SetClipboardBitmap(bitmap)) throw std::runtime_error("Cannot open clipboard");
  if (shell_.PasteIntoDefaultEditor(bitmap) == ShellHost::Paste::kByUser) {
    // Nothing gets out of the editor's way by itself here: the window stays to say so.
    window_.SetStatusText(kPasteYourselfNote);
    return;
  }
  window_.MinimizeApplication();
}

void TForm1::COPY1Click() {
  SettleStep();
  // The fallback picture stands for a file that failed to load; it is nothing to copy.
  const Bitmap* held = showingFallback_ ? nullptr : HeldBitmap(IMG);
  if (!held) return;
  if (IMG.ZoomPercent() == 100)
    CopyAndPaste(*held);  // the clipboard takes its own copy
  else
    CopyAndPaste(DisplayedCopy(IMG, *held));
}

void TForm1::Capture1Click() {
  SettleStep();
  CopyAndPaste(CapturePictureArea());
}

void TForm1::AskAndSave(const Bitmap& bitmap, const std::string& proposedName) {
  SPD.Filter = kSaveFilters;
  SPD.InitialDir = ExtractFilePath(CurrentFile);
  // A folder keeps no trailing separator, except the root.
  if (SPD.InitialDir.size() > 1) SPD.InitialDir.pop_back();
  SPD.FileName = proposedName;
  if (saveDialogs_.ExecuteSaveDialog(SPD)) saver_.StartSaveThread(bitmap, SPD.FileName);
}

void TForm1::SAVE1Click() {
  SettleStep();
  // Saved over the file that failed, the fallback picture would destroy what may be recovered.
  const Bitmap* held = showingFallback_ ? nullptr : HeldBitmap(IMG);
  if (!held) return;
  // A copy taken before the dialog: a slideshow step while it is open must not change it.
  const Bitmap working = DisplayedCopy(IMG, *held);
  AskAndSave(working, AllowOverwrite ? CurrentFile : UniqueFileName(CurrentFile));
}

void TForm1::CaptureSave1Click() {
  SettleStep();
  // Taken before the dialog opens, so the dialog is never part of it.
  const Bitmap working = CapturePictureArea();
  SPD.FilterIndex = 1;
  AskAndSave(working, "");
}

}  // namespace quendra
