// Matching of file names against a search mask with * and ?, the way the
// Windows file search matches long names: ASCII case-insensitive, "*" any
// run of characters, "?" exactly one, and "*.*" everything.
#pragma once

#include <string>
#include <string_view>

namespace platform {

bool WildcardMatch(std::string_view mask, std::string_view name);

// Order of names in a search result: case-insensitive, then bytewise.
bool NameLess(const std::string& a, const std::string& b);

}  // namespace platform
