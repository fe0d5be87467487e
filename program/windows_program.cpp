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
  int exitCode = kExitConverted;
  if (ChooseRoad(settings) == Road::kUnattended) {
    // The unattended road runs as it always did (the status file's protocol
    // ends with "Successful" whatever happened); the exit code tells the
    // caller what was missing or what failed, with the Linux program's codes.
    const int missing = MissingNameExitCode(settings);
    const int result = RunUnattended(settings);
    exitCode = missing != kExitConverted ? missing : ExitCodeFor(settings, result);
  } else {
    RunWizard(wizard);  // the wizard tells its user itself; it ends with 0
  }
  ReleaseWizard(wizard);
  settings.titleFont = nullptr;
  if (titleFont) DeleteObject(titleFont);
  return exitCode;
}
