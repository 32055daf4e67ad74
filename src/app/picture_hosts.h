#pragma once
// The host boundary for pictures leaving the window: the save dialog, the clipboard and the
// capture of the zoomer's area. The Qt front end implements them; the test host records them.
// Main thread only.
#include "base/bitmap.h"

namespace quendra {

class TSavePictureDialog;

class SaveDialogHost {
 public:
  virtual ~SaveDialogHost() = default;
  // Shows the dialog modally as set up (title, filter, filter index, initial folder, file
  // name, default extension). On confirmation writes the chosen name and filter index back
  // and answers true; a cancelled dialog changes nothing and answers false.
  virtual bool ExecuteSaveDialog(TSavePictureDialog& dialog) = 0;
};

class ClipboardHost {
 public:
  virtual ~ClipboardHost() = default;
  // Replaces the system clipboard's contents by a copy of the bitmap. False when the clipboard
  // could not be taken; the bitmap stays the caller's either way.
  virtual bool SetClipboardBitmap(const Bitmap& bitmap) = 0;
};

class CaptureHost {
 public:
  virtual ~CaptureHost() = default;
  // Fills the 32-bit bitmap, sized to the zoomer's client area, with what the window shows
  // there: its own rendering of the zoomer, never a grab of the screen.
  virtual void RenderPictureArea(Bitmap& target) = 0;
};

}  // namespace quendra
