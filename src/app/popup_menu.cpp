#include "app/popup_menu.h"

#include "app/main_form.h"

namespace quendra {

const std::array<MenuItem, 19> kPopupMenu{{
    {"ROTATERIGHT1", "Rotate image right", ShortCut(VK_RIGHT), false, &TForm1::ROTATERIGHT1Click},
    {"ROTATELEFT1", "Rotate image left", ShortCut(VK_LEFT), false, &TForm1::ROTATELEFT1Click},
    {"DOMENU1", "Show/hide file list", ShortCut(VK_SPACE), false, &TForm1::DOMENU1Click},
    {"Register1", "Register", 0, true, &TForm1::Register1Click},
    {"Help1", "Key reminder", 0, true, &TForm1::Help1Click},
    {"COPY1", "Copy image", ShortCut('C', Ctrl), true, &TForm1::COPY1Click},
    {"Capture1", "Capture && copy image", ShortCut('C', CtrlAlt), true, &TForm1::Capture1Click},
    {"Allow", "Allow overwrite", 0, true, &TForm1::AllowClick},
    {"SAVE1", "Save image ", ShortCut('S', Ctrl), true, &TForm1::SAVE1Click},
    {"CaptureSave1", "Capture && save image", ShortCut('S', CtrlAlt), true,
     &TForm1::CaptureSave1Click},
    {"SHOWMAX1", "Go up to next mode", ShortCut(VK_UP, Ctrl), false, &TForm1::SHOWMAX1Click},
    {"SHOWRESTORE1", "Go down to next mode", ShortCut(VK_DOWN, Ctrl), false,
     &TForm1::SHOWRESTORE1Click},
    {"GOHOME1", "Go start of file list", ShortCut(VK_HOME), false, &TForm1::GOHOME1Click},
    {"GOEND1", "Go end of file list", ShortCut(VK_END), false, &TForm1::GOEND1Click},
    {"REFRESH1", "Refresh list", ShortCut('R', Ctrl), true, &TForm1::REFRESH1Click},
    {"SHOWTIME1", "Showtime", ShortCut('W', Ctrl), true, &TForm1::SHOWTIME1Click},
    {"N1", "-", 0, true, nullptr},
    {"EXIT1", "EXIT", ShortCut(VK_ESCAPE), true, &TForm1::EXIT1Click},
    {"FullSize1", "FullSize", ShortCut('F', Ctrl), false, &TForm1::FullSize1Click},
}};

const MenuItem* FindShortcut(uint16_t code) {
  if (code == 0) return nullptr;
  for (const auto& item : kPopupMenu)
    if (item.shortcut == code) return &item;
  return nullptr;
}

std::string ShortcutText(uint16_t code) {
  if (code == 0) return {};
  std::string text;
  if (code & kShortcutCtrl) text += "Ctrl+";
  if (code & kShortcutAlt) text += "Alt+";
  if (code & kShortcutShift) text += "Shift+";
  const int key = code & 0xFF;
  switch (key) {
    case VK_ESCAPE:
      return text + "Esc";
    case VK_SPACE:
      return text + "Space";
    case VK_LEFT:
      return text + "Left";
    case VK_RIGHT:
      return text + "Right";
    case VK_UP:
      return text + "Up";
    case VK_DOWN:
      return text + "Down";
    case VK_HOME:
      return text + "Home";
    case VK_END:
      return text + "End";
    default:
      return text + char(key);
  }
}

std::vector<MenuLine> VisibleMenu(const TForm1& form) {
  std::vector<MenuLine> lines;
  for (const MenuItem& item : kPopupMenu) {
    if (!item.visible) continue;
    MenuLine line{&item, std::string(item.caption), ShortcutText(item.shortcut)};
    if (item.onClick == &TForm1::Register1Click) line.caption = form.Register1Caption;
    if (item.onClick == &TForm1::AllowClick) {
      line.checkable = true;
      line.checked = form.AllowOverwrite;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace quendra
