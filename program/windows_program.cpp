#include "windows_program.h"

#include "program/ini_settings.h"
#include "program/program_entry.h"
#include "program/title_font.h"
#include "program/wizard/wizard_road.h"

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
