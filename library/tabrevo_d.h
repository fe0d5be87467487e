/* tabrevo_d: the converter as a library. Every sheet of every workbook that
 * the parameters name is written as delimited text, on the caller's thread;
 * nothing stays behind in the library between calls, and calls on
 * different threads are independent.
 *
 * Linux: libtabrevo_d.so. Windows: tabrevo_d.dll; the 32-bit DLL uses
 * __stdcall with the undecorated names below (VBA, VB6, Delphi, .NET).
 *
 * Parameters (the same language as the program's command line; element 0
 * stands for a program name and is never read):
 *   book.xls, book.xlsx, C:\data\*.xls   the source workbook(s); the first
 *                                        name ending in .xls or .xlsx
 *   out.csv, out.txt                     one output file for every sheet
 *   any other name of 5+ characters      the output folder; each sheet goes
 *                                        to <folder>\<SHEET NAME>.csv
 *   /FIELDS=x /RECORDS=x /ESCAPE=x /QUOTES=0|1 /QUOTEALL=0|1 /RECORDS=0
 *   /OVERWRITE=YES|NO|SKIP /ASIS /ANSI /OEM /LOG      (also behind "-")
 *   Linux: an argument starting with "/" that holds a second "/" before
 *   any "=" is a path (/home/me/out), not a keyword.
 *
 * Result codes:
 *   0  the run ended and every matching workbook was read; also when no
 *      file matched the source name
 *   1  no source workbook was given (no parameter ended in .xls or .xlsx)
 *   2  neither an output file nor an output folder was given
 *   3  at least one matching workbook (or one of its sheets) could not be
 *      read, or the run ran out of memory; the other workbooks were still
 *      converted. The reason goes to the activity log with /LOG, else to a
 *      message box (Windows) or one line on stderr (Linux).
 *
 * Texts are NUL-terminated, UTF-8 on Linux and the ANSI code page on
 * Windows. The library only reads them.
 */
#ifndef TABREVO_D_H
#define TABREVO_D_H

#include <stdint.h>

#if defined(_WIN32)
#define TABREVO_D_CALL __stdcall
#else
#define TABREVO_D_CALL
#endif

#if defined(TABREVO_D_BUILDING)
#if defined(_WIN32)
/* 64-bit: exported by attribute; 32-bit: by tabrevo_d.def, which gives the
 * __stdcall functions their undecorated names. */
#if defined(_WIN64)
#define TABREVO_D_API __declspec(dllexport)
#else
#define TABREVO_D_API
#endif
#else
#define TABREVO_D_API __attribute__((visibility("default")))
#endif
#else
#if defined(_WIN32)
#define TABREVO_D_API __declspec(dllimport)
#else
#define TABREVO_D_API
#endif
#endif

/* C callers pass an argv-like char**, C++ callers may pass const texts. */
#ifdef __cplusplus
#define TABREVO_D_ARGUMENTS const char* const*
extern "C" {
#else
#define TABREVO_D_ARGUMENTS char**
#endif

/* Converts by the parameters arguments[1] to arguments[count - 1].
 * `reserved` is not used. */
TABREVO_D_API int32_t TABREVO_D_CALL Tabrevo_Converter(int32_t reserved, int32_t count,
                                                       TABREVO_D_ARGUMENTS arguments);

/* The same with the parameters in one text, separated by "#" (runs of "#"
 * give no empty parameters). The first parameter stands for a program name
 * and is not read, so a useful text starts with a placeholder:
 * "app#C:\data\book.xls#C:\out#/FIELDS=TAB". The text is not changed; any
 * number of parameters is accepted. `reserved` is passed on unchanged. */
TABREVO_D_API int32_t TABREVO_D_CALL Tabrevo_ConverterStr(int32_t reserved, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* TABREVO_D_H */
