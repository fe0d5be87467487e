#include "ini_file.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

namespace platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

struct Line {
  size_t begin;    // offset of the line's first byte
  size_t end;      // offset just past its content (before the line break)
  size_t next;     // offset of the next line
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    size_t contentEnd = end;
    if (contentEnd > pos && text[contentEnd - 1] == '\r') --contentEnd;
    lines.push_back({pos, contentEnd, nl == std::string_view::npos ? text.size() : nl + 1});
    pos = lines.back().next;
  }
  return lines;
}

// The section a line opens, when it is a "[name]" line.
bool SectionName(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* text) {
  text->clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value) {
  bool inSection = false, seenSection = false;
  for (const Line& line : SplitLines(text)) {
    std::string_view content = text.substr(line.begin, line.end - line.begin);
    std::string_view name;
    if (SectionName(content, &name)) {
      if (seenSection && inSection) return false;  // only the first such section counts
      inSection = SameName(name, section);
      seenSection = seenSection || inSection;
      continue;
    }
    std::string_view k, v;
    if (inSection && KeyValue(content, &k, &v) && SameName(k, key)) {
      // Values in matching quotes lose the quotes, as the profile service does.
      if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') ||
                            (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
      value->assign(v);
      return true;
    }
  }
  return false;
}

int IniParseInt(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  unsigned base = 10;
  if (i + 1 < value.size() && value[i] == '0' && (value[i + 1] == 'x' || value[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  uint64_t n = 0;
  for (; i < value.size(); ++i) {
    char c = value[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else break;
    n = n * base + d;
    if (n > 0xFFFFFFFFull) n = 0xFFFFFFFFull;  // the service keeps 32 bits
  }
  uint32_t bits = static_cast<uint32_t>(n);
  if (negative) bits = 0u - bits;
  return static_cast<int>(bits);
}

std::string IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                        std::string_view value, std::string_view defaultNewline) {
  const std::string newline(text.find("\r\n") != std::string_view::npos ? "\r\n"
                            : text.find('\n') != std::string_view::npos ? "\n"
                                                                          : defaultNewline);
  const std::string keyLine = std::string(key) + "=" + std::string(value);
  std::vector<Line> lines = SplitLines(text);

  size_t sectionLine = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    if (SectionName(text.substr(lines[i].begin, lines[i].end - lines[i].begin), &name) &&
        SameName(name, section)) {
      sectionLine = i;
      break;
    }
  }

  std::string out;
  if (sectionLine == lines.size()) {
    out.assign(text);
    if (!out.empty() && out.back() != '\n') out += newline;
    out += "[" + std::string(section) + "]" + newline + keyLine + newline;
    return out;
  }

  // Within the section: replace the key, or add it after the last line that
  // is not empty.
  size_t lastFilled = sectionLine;
  for (size_t i = sectionLine + 1; i < lines.size(); ++i) {
    std::string_view content = text.substr(lines[i].begin, lines[i].end - lines[i].begin);
    std::string_view name, k, v;
    if (SectionName(content, &name)) break;
    if (KeyValue(content, &k, &v) && SameName(k, key)) {
      out.assign(text.substr(0, lines[i].begin));
      out += keyLine;
      out.append(text.substr(lines[i].end));
      return out;
    }
    if (!Trim(content).empty()) lastFilled = i;
  }
  const Line& after = lines[lastFilled];
  out.assign(text.substr(0, after.next));
  if (after.next == after.end) out += newline;  // the last line had no line break
  out += keyLine + newline;
  out.append(text.substr(after.next));
  return out;
}

}  // namespace platform
