// A process of the load tests: "log PATH COUNT ID" appends COUNT activity
// log lines to the log at PATH, of lengths from a few bytes to 100 KB, each
// naming the worker and its number, so that the test can tell whole lines
// from torn or mixed ones.
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/activity_log.h"

int main(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "log") != 0) return 2;
  const std::string path = argv[2];
  const int count = std::atoi(argv[3]);
  const int id = std::atoi(argv[4]);
  ConverterSettings s{};
  for (int i = 0; i < count; ++i) {
    size_t pad = static_cast<size_t>(i) * 7919 % 100000;
    std::string text = "worker " + std::to_string(id) + " line " + std::to_string(i) + " ";
    text.append(pad, static_cast<char>('a' + id));
    text += " end";
    AppendLogLine(path, kLogSource, s, kLogText, text.c_str());
  }
  return 0;
}
