// A small JSON reader for the corpus's reference dumps.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct Json {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  const Json* Find(std::string_view key) const;  // null when absent
  bool Has(std::string_view key) const { return Find(key) != nullptr; }
};

// False with a reason in *error on malformed input.
bool ParseJson(std::string_view text, Json* out, std::string* error);

}  // namespace testing_support
