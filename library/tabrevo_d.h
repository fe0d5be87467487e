/* tabrevo_d: the converter as a library. Every sheet of every workbook that
 * the parameters name is written as delimited text, on the caller's thread;
 * nothing stays behind in the library between calls, and calls on
 * different threads are independent.
 *
 * Linux: libtabrevo_d.so. Windows: tabrevo_d.dll; the 32-bit DLL uses
 * __stdcall with the undecorated names below (VBA, VB6, Delphi, .NET).
 *
 * Parameters (the same language as the program's command line; element 0
 * stands for a program name and is never read; keywords begin with "/" or
 * "-", in any capitals):
 *   book.xls, book.xlsx, C:\data\*.xlsm   the source workbook(s): the first
 *                                        name ending in .xls, .xlsx, .xlsm,
 *                                        .xlsb, .xlt, .xltx or .xltm; the
 *                                        content decides how it is read
 *   out.csv, out.txt                     one output file for every sheet
 *   any other name of 5+ characters      the output folder; each sheet goes
 *                                        to <folder>\<SHEET NAME>.csv (a
 *                                        name of 4 characters or fewer is
 *                                        skipped: write .\out, not out)
 *   /FIELDS=x      field delimiter: a text, TAB, PIPE or NONE (default ",")
 *   /RECORDS=x     record delimiter: CRLF (default), CR, LF, NONE or a text
 *   /RECORDS=0     no rows are written (the files are still made)
 *   /ESCAPE=x      text before each double quote inside an enclosed string:
 *                  DQ (default, a double quote), SQ (an apostrophe), a text
 *   /QUOTES=0|1    strings enclosed in double quotes (default 1); strings
 *                  holding a double quote or the field delimiter always are
 *   /QUOTEALL=0|1  every cell enclosed in double quotes (default 0)
 *   /CRLF=KEEP|REMOVE|REPLACE   line breaks inside strings: kept (default),
 *                  removed, or written as the two characters \r and \n
 *   /OVERWRITE=YES|NO|SKIP (or 1|0|2)   an existing output file is replaced
 *                  (default), appended to, or kept and the sheet skipped
 *   /ASIS /ANSI    strings as stored (default): on Windows in the ANSI
 *                  code page, where letters it lacks become "?"
 *   /OEM           strings in the OEM code page (Linux: code page 437)
 *   /UTF8          strings in UTF-8 (Linux: as stored, which is UTF-8)
 *   /BOM           a UTF-8 byte-order mark at the start of each output file
 *                  the call creates (never before appended rows); only when
 *                  the strings are UTF-8: /UTF8, and on Linux also as stored
 *   /ERRORS=TEXT|EMPTY   error cells as their texts (#NULL!, #DIV/0!,
 *                  #VALUE!, #REF!, #NAME?, #NUM!, #N/A, #GETTING_DATA),
 *                  enclosed like strings, or empty (default)
 *   /SHEETS=a;b    only the sheets named (any capitals, workbook order); a
 *                  name a workbook lacks fails it (result 3), the named
 *                  sheets it has are still written
 *   /LOG           failures go to the activity log wizards.log in the
 *                  user's application-data folder instead of being shown
 *   Every other keyword of the program (/STATUS, /SILENT, /BATCH, /WAIT,
 *   /OPEN=, /ORDER=, /MAXLEN=) is accepted and has no effect here.
 *   Linux: an argument starting with "/" that holds a second "/" before
 *   any "=" is a path (/home/me/out), not a keyword.
 *
 * Result codes:
 *   0  the run ended and every matching workbook and all of its sheets were
 *      read; also when no file matched the source name
 *   1  no source workbook was given (no parameter with a workbook ending)
 *   2  neither an output file nor an output folder was given
 *   3  at least one matching workbook could not be read, or lacks a sheet
 *      /SHEETS= names, or one of its sheets could be read only partly (a
 *      damaged sheet: the rows read before the damage are written), or the
 *      run ran out of memory; the other workbooks and
 *      sheets were still converted. The reason goes to the activity log
 *      with /LOG, else (Linux) to one line on stderr; no window is shown
 *      for it.
 *   4  at least one output file could not be created or written whole (the
 *      rows written before the failure stay in it); the other sheets and
 *      workbooks were still converted. Comes before 3. The reason goes to
 *      the activity log with /LOG, else to one line on stderr (Linux) or the
 *      debugger output (Windows); no window is shown for it either.
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
