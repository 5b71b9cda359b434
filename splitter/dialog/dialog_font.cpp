#include "dialog_font.h"

#include "exception_message.h"

namespace velmora {

winsup::UniqueFont make_dialog_font() {
  winsup::UniqueFont font(CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, "Tahoma"));
  if (!font) throw UiError("Cannot create the dialog's font");
  return font;
}

}  // namespace velmora
