// Platform services that are the same on every platform.
#include <cerrno>
#include <cstring>

#include "platform.h"

namespace platform {

size_t LastSeparator(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsPathSeparator(path[i - 1])) return i - 1;
  return std::string_view::npos;
}

std::string LastErrorText() { return std::strerror(errno); }

}  // namespace platform
