#include "json.h"

#include <charconv>
#include <cstdlib>

namespace testing_support {

const Json* Json::Find(std::string_view key) const {
  for (const auto& m : members)
    if (m.first == key) return &m.second;
  return nullptr;
}

namespace {

struct Parser {
  std::string_view s;
  size_t i = 0;
  std::string error;

  void Space() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool Fail(const char* what) {
    if (error.empty()) error = std::string(what) + " at offset " + std::to_string(i);
    return false;
  }
  static void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  bool Hex4(uint32_t* v) {
    if (i + 4 > s.size()) return Fail("short \\u escape");
    *v = 0;
    for (int k = 0; k < 4; ++k) {
      char c = s[i++];
      *v <<= 4;
      if (c >= '0' && c <= '9') *v |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f') *v |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') *v |= static_cast<uint32_t>(c - 'A' + 10);
      else return Fail("bad \\u escape");
    }
    return true;
  }
  bool Str(std::string* out) {
    ++i;  // opening quote
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (i >= s.size()) return Fail("short escape");
      char e = s[i++];
      switch (e) {
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i] == '\\' && s[i + 1] == 'u') {
            i += 2;
            uint32_t low = 0;
            if (!Hex4(&low)) return false;
            if (low >= 0xDC00 && low < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            else {
              PutUtf8(*out, cp);
              cp = low;
            }
          }
          PutUtf8(*out, cp);
          break;
        }
        default: *out += e;
      }
    }
    if (i >= s.size()) return Fail("unterminated string");
    ++i;
    return true;
  }
  bool Value(Json* v, int depth) {
    if (depth > 200) return Fail("too deep");
    Space();
    if (i >= s.size()) return Fail("unexpected end");
    char c = s[i];
    if (c == '{') {
      v->kind = Json::Object;
      ++i;
      Space();
      if (i < s.size() && s[i] == '}') return ++i, true;
      for (;;) {
        Space();
        if (i >= s.size() || s[i] != '"') return Fail("expected a key");
        std::string key;
        if (!Str(&key)) return false;
        Space();
        if (i >= s.size() || s[i] != ':') return Fail("expected ':'");
        ++i;
        Json member;
        if (!Value(&member, depth + 1)) return false;
        v->members.emplace_back(std::move(key), std::move(member));
        Space();
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == '}') return ++i, true;
        return Fail("expected ',' or '}'");
      }
    }
    if (c == '[') {
      v->kind = Json::Array;
      ++i;
      Space();
      if (i < s.size() && s[i] == ']') return ++i, true;
      for (;;) {
        Json item;
        if (!Value(&item, depth + 1)) return false;
        v->items.push_back(std::move(item));
        Space();
        if (i < s.size() && s[i] == ',') { ++i; continue; }
        if (i < s.size() && s[i] == ']') return ++i, true;
        return Fail("expected ',' or ']'");
      }
    }
    if (c == '"') {
      v->kind = Json::String;
      return Str(&v->text);
    }
    if (s.substr(i, 4) == "true") { v->kind = Json::Bool; v->boolean = true; i += 4; return true; }
    if (s.substr(i, 5) == "false") { v->kind = Json::Bool; i += 5; return true; }
    if (s.substr(i, 4) == "null") { i += 4; return true; }
    v->kind = Json::Number;
    size_t start = i;
    while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '-' ||
                            s[i] == '+' || s[i] == '.' || s[i] == 'e' || s[i] == 'E'))
      ++i;
    if (start == i) return Fail("unexpected character");
    std::string number(s.substr(start, i - start));
    v->number = std::strtod(number.c_str(), nullptr);
    return true;
  }
};

}  // namespace

bool ParseJson(std::string_view text, Json* out, std::string* error) {
  Parser p;
  p.s = text;
  *out = Json{};
  bool ok = p.Value(out, 0);
  if (!ok && error) *error = p.error;
  return ok;
}

}  // namespace testing_support
