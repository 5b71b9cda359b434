// The dialog's font: Tahoma, 11 pixels high (8 points at 96 dpi), Cyrillic
// character set. Given in pixels, so it does not follow the screen's font
// size.
#ifndef VELMORA_DIALOG_FONT_H
#define VELMORA_DIALOG_FONT_H

#include "unique_handle.h"

namespace velmora {

// Throws UiError when the font cannot be created.
winsup::UniqueFont make_dialog_font();

}  // namespace velmora

#endif  // VELMORA_DIALOG_FONT_H
