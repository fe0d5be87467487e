// POSIX implementation of the platform services.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ini_file.h"
#include "platform.h"
#include "wildcard.h"

namespace platform {

bool FindFiles(const std::string& pattern, std::vector<std::string>* names) {
  if (pattern.empty()) return false;
  size_t sep = pattern.rfind('/');
  std::string folder = sep == std::string::npos ? "." : (sep == 0 ? "/" : pattern.substr(0, sep));
  std::string mask = sep == std::string::npos ? pattern : pattern.substr(sep + 1);
  if (mask.empty()) return false;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  std::vector<std::string> found;
  while (dirent* entry = readdir(dir)) {
    if (WildcardMatch(mask, entry->d_name)) found.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (found.empty()) return false;
  std::sort(found.begin(), found.end(), NameLess);
  names->insert(names->end(), found.begin(), found.end());
  return true;
}

bool RemoveFile(const std::string& path) {
  // Only a file (or a link, which goes without what it points to) is
  // deleted. A device or a pipe named as the output (/dev/null, a FIFO a
  // reader waits on) is written into, never removed: removing /dev/null as
  // root would take the device away from every other program.
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return false;
  return ::unlink(path.c_str()) == 0;
}

int RemoveFileHeld(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return -1;
  // A link is only unlinked: what it points to keeps its storage anyway.
  int held = S_ISREG(st.st_mode)
                 ? ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)
                 : -1;
  if (held >= 0) {
    struct stat opened;
    // Only the file that was looked at, not one put in its place since.
    if (::fstat(held, &opened) != 0 || opened.st_dev != st.st_dev || opened.st_ino != st.st_ino) {
      ::close(held);
      held = -1;
    }
  }
  if (!RemoveFile(path) && held >= 0) {
    ::close(held);
    held = -1;
  }
  return held;
}

void CloseHeldFile(int held) {
  if (held >= 0) ::close(held);
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  bool ok = n == static_cast<ssize_t>(bytes.size());
  if (::close(fd) != 0) ok = false;
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool FileIdentity(const std::string& path, uint64_t* device, uint64_t* inode) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return false;
  *device = static_cast<uint64_t>(st.st_dev);
  *inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

namespace {

// Makes every missing folder of `path` (mode 0700, as the XDG rules ask).
void MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      ::mkdir(part.c_str(), 0700);
    }
  }
}

}  // namespace

std::string AppDataFolder() {
  std::string folder;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') {
    folder = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) return std::string();
    folder = std::string(home) + "/.local/share";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (!PathExists(folder)) MakeFolders(folder);
  return folder;
}

std::string ExecutablePath() {
  std::string buffer(4096, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<size_t>(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

int IniReadInt(const std::string& file, const std::string& section, const std::string& key,
               int defaultValue) {
  std::string text;
  if (!ReadWholeFile(file, &text)) return defaultValue;
  std::string value;
  if (!IniFindValue(text, section, key, &value) || value.empty()) return defaultValue;
  return IniParseInt(value);
}

bool IniWriteString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  std::string text;
  ReadWholeFile(file, &text);  // a missing file starts empty
  std::string updated = IniSetValue(text, section, key, value);

  // Write beside the file, then rename over it: readers see the old file or
  // the new one, never a part of either.
  size_t sep = file.rfind('/');
  std::string folder = sep == std::string::npos ? "." : file.substr(0, sep == 0 ? 1 : sep);
  std::string temp = file + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat st;
  mode_t mode = 0644;
  if (::stat(file.c_str(), &st) == 0) mode = st.st_mode & 07777;
  ::fchmod(fd, mode);
  const char* p = updated.data();
  size_t left = updated.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), file.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  (void)folder;
  return ok;
}

namespace {
void (*beforeFailureLine)() = nullptr;
}  // namespace

void SetBeforeFailureLine(void (*clear)()) { beforeFailureLine = clear; }

void ShowFailure(Window /*owner*/, const std::string& text, const std::string& file,
                 const std::string& reason) {
  if (beforeFailureLine) beforeFailureLine();
  std::string line = "tabrevo: " + text;
  if (!file.empty()) line += ": " + file;
  if (!reason.empty()) line += ": " + reason;
  line += '\n';
  // One write, so that lines of concurrent runs do not mix.
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void NoteFailure(const std::string& text, const std::string& file, const std::string& reason) {
  ShowFailure(nullptr, text, file, reason);
}

namespace {

// Code page 437's upper half, read once from iconv: code point -> byte.
struct Cp437Table {
  std::array<std::pair<uint32_t, uint8_t>, 128> upper{};
  bool ok = false;
};

const Cp437Table& Cp437() {
  static Cp437Table table;
  static std::once_flag once;
  std::call_once(once, [] {
    iconv_t cd = iconv_open("UTF-32LE", "CP437");
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    for (int b = 0x80; b <= 0xFF; ++b) {
      char in = static_cast<char>(b);
      uint8_t out[4] = {};
      char* inp = &in;
      size_t inLeft = 1;
      char* outp = reinterpret_cast<char*>(out);
      size_t outLeft = sizeof out;
      uint32_t cp = 0xFFFFFFFF;
      if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && outLeft == 0)
        cp = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<uint32_t>(out[3]) << 24);
      table.upper[static_cast<size_t>(b - 0x80)] = {cp, static_cast<uint8_t>(b)};
    }
    iconv_close(cd);
    std::sort(table.upper.begin(), table.upper.end());
    table.ok = true;
  });
  return table;
}

// Decodes one UTF-8 sequence at text[i]; returns its length (1 for a bad byte,
// with *cp set to 0xFFFFFFFF).
size_t DecodeUtf8(std::string_view text, size_t i, uint32_t* cp) {
  auto b = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  uint8_t c = b(i);
  size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || i + len > text.size()) {
    *cp = 0xFFFFFFFF;
    return 1;
  }
  uint32_t v = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (size_t k = 1; k < len; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) {
      *cp = 0xFFFFFFFF;
      return 1;
    }
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  *cp = v;
  return len;
}

}  // namespace

std::string TextToOem(std::string_view text) {
  const Cp437Table& table = Cp437();
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint8_t c = static_cast<uint8_t>(text[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    uint32_t cp;
    i += DecodeUtf8(text, i, &cp);
    char mapped = '?';
    if (table.ok) {
      auto it = std::lower_bound(table.upper.begin(), table.upper.end(), std::make_pair(cp, uint8_t(0)));
      if (it != table.upper.end() && it->first == cp) mapped = static_cast<char>(it->second);
    }
    out.push_back(mapped);
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view utf8) { return std::string(utf8); }

size_t TextLength(std::string_view text) {
  size_t n = 0;
  for (char c : text)
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::tm LocalTime(std::time_t t) {
  std::tm fields{};
  localtime_r(&t, &fields);
  return fields;
}

}  // namespace platform
