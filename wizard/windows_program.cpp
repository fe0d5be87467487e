#include "windows_program.h"

#include "ini_settings.h"
#include "program_entry.h"
#include "title_font.h"
#include "wizard_road.h"

int RunWindowsProgram(HINSTANCE instance, int count, const char* const* arguments) {
  ConverterSettings settings{};
  BuildSettings(settings, IniSettingsPath(), count, arguments);
  HFONT titleFont = CreateTitleFont();
  settings.titleFont = titleFont;
  if (ChooseRoad(settings) == Road::kUnattended)
    RunUnattended(settings);
  else
    RunWizard(instance, settings);
  settings.titleFont = nullptr;
  if (titleFont) DeleteObject(titleFont);
  return 0;
}
