#include "title_font.h"

#include <cstring>

int TitleFontHeight(int dotsPerInch) { return -(12 * dotsPerInch) / 72; }

HFONT CreateTitleFont() {
  // The full structure, padded-border width included (Windows Vista on).
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTA font{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font = metrics.lfMessageFont;
  font.lfWeight = FW_BOLD;
  std::strncpy(font.lfFaceName, "Verdana Bold", LF_FACESIZE - 1);
  font.lfFaceName[LF_FACESIZE - 1] = '\0';
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  font.lfHeight = TitleFontHeight(dpi);
  return CreateFontIndirectA(&font);
}
