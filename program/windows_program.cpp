#include "windows_program.h"

#include "program/ini_settings.h"
#include "program/program_entry.h"
#include "program/title_font.h"
#include "program/wizard/wizard_road.h"

int RunWindowsProgram(HINSTANCE instance, int count, const char* const* arguments) {
  ConverterSettings settings{};
  WizardSheet wizard;
  BuildSettings(settings, IniSettingsPath(), count, arguments);
  PrepareWizard(instance, settings, count > 0 ? arguments[0] : nullptr, wizard);
  HFONT titleFont = CreateTitleFont();
  settings.titleFont = titleFont;
  if (ChooseRoad(settings) == Road::kUnattended)
    RunUnattended(settings);
  else
    RunWizard(wizard);
  ReleaseWizard(wizard);
  settings.titleFont = nullptr;
  if (titleFont) DeleteObject(titleFont);
  return 0;
}
