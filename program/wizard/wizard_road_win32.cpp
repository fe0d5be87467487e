// Until the wizard's pages exist, the wizard road tells the user so and how
// to convert unattended instead.
#include "program/wizard/wizard_road.h"

void RunWizard(HINSTANCE, ConverterSettings&) {
  MessageBoxA(nullptr,
              "The tabrevo wizard is not built yet.\n\n"
              "To convert unattended, start tabrevo with the workbook, the output folder and "
              "/SILENT, for example:\n\n"
              "tabrevo.exe C:\\data\\book.xlsx C:\\out /SILENT",
              "tabrevo", MB_OK | MB_ICONINFORMATION);
}
