/* A caller of the installed library, as a user of it writes one: converts
 * WORKBOOK into OUTPUT (an output file or folder) with semicolons between
 * the fields and line feeds after the rows, through both exports, and checks
 * that a call without a workbook is refused.
 *   convert_with_library WORKBOOK OUTPUT
 * Exit status 0 when both exports returned what they should. */
#include <stdio.h>
#include <tabrevo_d.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: convert_with_library WORKBOOK OUTPUT\n");
    return 2;
  }
  /* Element 0 stands for a program name and is not read. */
  char* parameters[] = {"convert_with_library", argv[1], argv[2], "/FIELDS=;", "/RECORDS=LF"};
  int32_t result = Tabrevo_Converter(0, 5, parameters);
  printf("Tabrevo_Converter: %d\n", (int)result);

  /* The same run once more as one text, appended to what the first wrote. */
  char text[4096];
  snprintf(text, sizeof text, "app#%s#%s#/FIELDS=;#/RECORDS=LF#/OVERWRITE=NO", argv[1], argv[2]);
  int32_t again = Tabrevo_ConverterStr(0, text);
  printf("Tabrevo_ConverterStr: %d\n", (int)again);

  /* No workbook: nothing is touched, result 1. */
  char* nothing[] = {"app", argv[2]};
  int32_t refused = Tabrevo_Converter(0, 2, nothing);
  printf("without a workbook: %d\n", (int)refused);

  return result == 0 && again == 0 && refused == 1 ? 0 : 1;
}
