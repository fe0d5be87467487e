#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#ifndef TABREVO_TEST_ROOT
#define TABREVO_TEST_ROOT "."
#endif

namespace fs = std::filesystem;

namespace testing_support {

ScratchDir::ScratchDir() {
  std::random_device rd;
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string base = info ? std::string(info->test_suite_name()) + "_" + info->name() : "scratch";
  for (char& c : base)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  fs::path dir = fs::temp_directory_path() / ("tabrevo_" + base + "_" + std::to_string(rd()));
  fs::create_directories(dir);
  path_ = dir.string();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchDir::File(std::string_view name) const {
  return (fs::path(path_) / fs::path(std::string(name))).string();
}

std::string ReadFile(const std::string& path) {
  std::string text;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return text;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  std::fclose(f);
  return text;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

std::string FixturePath(std::string_view name) {
  return std::string(TABREVO_TEST_ROOT) + "/tests/fixtures/" + std::string(name);
}

std::string CorpusDir() {
  std::string dir;
  if (const char* env = std::getenv("TABREVO_CORPUS"))
    dir = env;
  else
    dir = std::string(TABREVO_TEST_ROOT) + "/../shared/corpus";
  std::error_code ec;
  return fs::is_directory(fs::path(dir), ec) ? dir : std::string();
}

std::vector<std::string> LogMessages(const std::string& text) {
  std::vector<std::string> messages;
  // Each line begins with its line break (CRLF on Windows).
  size_t pos = 0;
  while ((pos = text.find('\n', pos)) != std::string::npos) {
    size_t end = text.find('\n', pos + 1);
    std::string line = text.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 31 && line.compare(20, 11, "TABREVO    ") == 0) messages.push_back(line.substr(31));
    ++pos;
  }
  return messages;
}

// ---------------------------------------------------------------------------

struct MemoryBook::Pending {
  XlSheet* sheet;
  std::unique_ptr<reader::SheetBuilder> builder;
};

MemoryBook::MemoryBook(reader::BookKind kind) : book_(reader::NewMemoryBook(kind)) {}

MemoryBook::~MemoryBook() {
  for (Pending* p : pending_) delete p;
  delete book_;
}

XlBook* MemoryBook::Release() {
  Finish();
  XlBook* b = book_;
  book_ = nullptr;
  return b;
}

uint32_t MemoryBook::Style(int numFormatId) {
  book_->formats.push_back(XlFormat{numFormatId, false});
  return static_cast<uint32_t>(book_->formats.size() - 1);
}

void MemoryBook::Format(int id, std::string text) { book_->numFormats.Define(id, std::move(text)); }
void MemoryBook::Date1904(bool on) { book_->date1904 = on; }

XlSheet* MemoryBook::Sheet(std::string name) {
  reader::BookBuilder builder(*book_);
  XlSheet& sheet = builder.AddSheet(std::move(name));
  auto* p = new Pending{&sheet, std::make_unique<reader::SheetBuilder>(sheet.cells)};
  pending_.push_back(p);
  return &sheet;
}

MemoryBook::Pending* MemoryBook::For(XlSheet* sheet) {
  for (Pending* p : pending_)
    if (p->sheet == sheet) return p;
  return nullptr;
}

void MemoryBook::Number(XlSheet* sheet, uint32_t row, uint32_t col, double value, uint32_t style) {
  For(sheet)->builder->AddNumber(row, col, style, value);
}

void MemoryBook::String(XlSheet* sheet, uint32_t row, uint32_t col, std::string_view text, uint32_t style) {
  uint32_t index = sheet->strings.Add(text);
  For(sheet)->builder->AddSheetString(row, col, style, index);
}

void MemoryBook::Boolean(XlSheet* sheet, uint32_t row, uint32_t col, bool value, uint32_t style) {
  For(sheet)->builder->AddBoolean(row, col, style, value);
}

void MemoryBook::Error(XlSheet* sheet, uint32_t row, uint32_t col, uint8_t code) {
  For(sheet)->builder->AddError(row, col, 0, code);
}

void MemoryBook::Finish() {
  if (!book_) return;
  for (Pending* p : pending_) {
    p->builder->Finish();
    p->sheet->loaded = true;
  }
  for (XlFormat& f : book_->formats) f.isDate = book_->numFormats.IsDate(f.numFormatId);
}

#ifndef _WIN32
CapturedStderr::CapturedStderr(const std::string& path) : path_(path) {
  std::fflush(stderr);
  saved_ = ::dup(STDERR_FILENO);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(fd, STDERR_FILENO);
  ::close(fd);
}

std::string CapturedStderr::Restore() {
  if (saved_ >= 0) {
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  return ReadFile(path_);
}
#endif

}  // namespace testing_support
