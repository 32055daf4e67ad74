#pragma once
// Capturing a widget from its own rendering: whatever covers it on the screen is never part
// of the result.
#include <QWidget>

#include "base/bitmap.h"

namespace quendra::qt {

// Renders the widget (and its children) into the 32-bit bitmap at (0, 0), one bitmap pixel
// per device pixel of the widget on its screen; the fourth byte of each pixel is 0 as in every
// other 32-bit bitmap here.
void RenderWidgetInto(QWidget& widget, Bitmap& target);

}  // namespace quendra::qt
