#pragma once
// Loading a file into the zoomer the way the viewer shows it: read by extension, and in the
// fitted modes decoded at reduced JPEG scale where that still covers the display and resampled
// once to the displayed size. Throws on any failure; the caller decides what to show then.
#include <string>

#include "controls/zoomer.h"

namespace quendra {

class TReducedScaleGraphic;

void LoadIntoZoomer(TZoomer& img, const std::string& path);
// The part after reading the file: the zoomer's picture holds the file's own graphic and becomes
// the bitmap shown. The preloader reads first, checks the size, then finishes.
void FinishLoad(TZoomer& img);

// Picks the JPEG decoder's output scale for a display whose larger side is displayMax.
void ChooseJpegScale(TReducedScaleGraphic& jpeg, int displayMax);

}  // namespace quendra
