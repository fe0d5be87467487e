// The text rules of profile (INI) files, used by the POSIX profile service:
// "[section]" lines open a section, "key=value" lines inside it hold values;
// names match without regard to ASCII case and blanks around names and
// values do not count.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool ReadWholeFile(const std::string& path, std::string* text);

// The value of the first `key` in the first section named `section`.
bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value);

// Reads a value as the Windows profile service does: leading blanks, an
// optional sign, then decimal digits (or hexadecimal after 0x); reading stops
// at the first other character; no digits give 0.
int IniParseInt(std::string_view value);

// The text with `key` of `section` set to `value`: the key's line is
// replaced, a missing key is added at the end of its section, a missing
// section at the end of the text. Every other byte stays as it was. Added
// lines end with carriage return and line feed in a text that has them, else
// with a line feed; a text without any line break takes `defaultNewline`.
std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value, std::string_view defaultNewline = "\n");

}  // namespace platform
