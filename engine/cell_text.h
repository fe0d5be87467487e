// Rendering of number, date and boolean cells: byte for byte the texts of
// the printf formats "%f", "%W.Pf", "%Wd", "%04d.%02d.%02d[ %02d:%02d:%02d]"
// and "%d" in the "C" locale, without their cost and without their limits.
#pragma once

#include <string>
#include <string_view>

// Appends the "%.<precision>f" text of `value`, left-padded with blanks to
// `width` characters.
void AppendFixed(std::string& out, double value, int width, int precision);

// The fast roads of AppendFixed: writes the text at `out` (room for 80
// bytes), blanks in front up to `width` (at most 32), and returns its end,
// or null when the value needs the general road (more than 19 decimals, or
// more than 9 where the compiler has no 128-bit integers; 2^53 or more; not
// finite; a wider width).
char* WriteFixedFast(char* out, double value, int precision, int width = 0);

// Appends the "%<width>d" text of `value` truncated toward zero. Values
// outside the 32-bit range are written in full (the whole number of the
// truncated value), not cut to 32 bits; values that are not finite as "%f".
void AppendWholeNumber(std::string& out, double value, int width);

// Its fast road, as WriteFixedFast's: at `out` (room for 80 bytes), blanks
// in front up to `width` (at most 32); null for values of 2^53 or more or
// not finite, and for a wider width.
char* WriteWholeNumberFast(char* out, double value, int width);

// Appends a date as "YYYY.MM.DD", with " hh:mm:ss" unless the time of day
// (without its milliseconds) is zero.
void AppendDate(std::string& out, int year, int month, int day, int hour, int minute, int second);

// The same at `out` (room for 48 bytes for years of four digits); returns the end.
char* WriteDate(char* out, int year, int month, int day, int hour, int minute, int second);

// The width and precision a custom number format text gives: width is its
// length in characters; precision the number of characters behind its first
// full stop, or -1 when it has no full stop.
struct NumberLayout {
  int width = 0;
  int precision = -1;
};
NumberLayout LayoutOfFormat(std::string_view formatText);

// The text of an error cell by its code, as the spreadsheet shows it:
// #NULL!, #DIV/0!, #VALUE!, #REF!, #NAME?, #NUM!, #N/A, #GETTING_DATA.
// A code none of them has gives #N/A, as an unknown error literal of an
// .xlsx sheet does in the reader.
std::string_view ErrorCellText(int code);
