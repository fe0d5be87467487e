// Random-access reading of a workbook file.
//
// Readers pull the byte ranges they need (a ZIP entry, a compound-file
// sector) instead of holding the whole file in memory, so a large workbook
// costs only what its parsed cells cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "reader/core/status.h"

namespace reader {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly `length` bytes at `offset`; fails past the end or on a read error.
  virtual Status ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
  // The name used in error messages.
  virtual const std::string& name() const = 0;
};

// A file on disk. The file stays open while the book that reads it lives,
// because sheets are parsed when first used.
class FileSource final : public ByteSource {
 public:
  static Status Open(const std::string& path, std::unique_ptr<FileSource>* out);
  ~FileSource() override;
  uint64_t size() const override { return size_; }
  Status ReadAt(uint64_t offset, void* buffer, size_t length) override;
  const std::string& name() const override { return path_; }

 private:
  FileSource() = default;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
  std::string path_;
};

// Bytes already in memory (tests, fuzzing, nested streams).
class MemorySource final : public ByteSource {
 public:
  MemorySource(std::vector<uint8_t> bytes, std::string name)
      : bytes_(std::move(bytes)), name_(std::move(name)) {}
  MemorySource(const uint8_t* data, size_t size, std::string name)
      : bytes_(data, data + size), name_(std::move(name)) {}
  uint64_t size() const override { return bytes_.size(); }
  Status ReadAt(uint64_t offset, void* buffer, size_t length) override;
  const std::string& name() const override { return name_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  std::string name_;
};

}  // namespace reader
