// The dialog's font: the face the layout was measured in, or the nearest
// one the system has.
#include "dialog/gui_win32.h"

#include <string>

namespace gui_win32 {

namespace {

int CALLBACK NoteFontFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// "MS Sans Serif", or where the system lacks it, the installed face
// nearest to it in width: the layout's captions were measured in it, and
// the font mapper's own choice can be much wider (under Wine without its
// fonts: DejaVu Sans, which cuts the longest button caption).
std::wstring DialogFontFace(HDC screen) {
  static const wchar_t* const kFaces[] = {
      L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma", L"Arial", L"Liberation Sans", L"DejaVu Sans Condensed",
  };
  for (const wchar_t* face : kFaces) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, NoteFontFamily, reinterpret_cast<LPARAM>(&found), 0);
    if (found) return face;
  }
  return kFaces[0];
}

}  // namespace

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

TOwnedFont CreateDialogFont() {
  HDC screen = GetDC(nullptr);
  int dpi = ScreenDpi();
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, dpi, 72);
  font.lfWeight = FW_NORMAL;
  // The texts are Central European: a font that has their letters.
  font.lfCharSet = EASTEUROPE_CHARSET;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  lstrcpynW(font.lfFaceName, DialogFontFace(screen).c_str(), LF_FACESIZE);
  ReleaseDC(nullptr, screen);
  return TOwnedFont(CreateFontIndirectW(&font));
}

}  // namespace gui_win32
