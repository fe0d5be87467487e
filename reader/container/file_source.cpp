#include "reader/container/file_source.h"

#include <cerrno>
#include <cstring>

#include "reader/core/safety.h"

namespace reader {

namespace {

int SeekTo(std::FILE* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

uint64_t TellEnd(std::FILE* file, bool* ok) {
#ifdef _WIN32
  *ok = _fseeki64(file, 0, SEEK_END) == 0;
  long long pos = *ok ? _ftelli64(file) : -1;
#else
  *ok = fseeko(file, 0, SEEK_END) == 0;
  off_t pos = *ok ? ftello(file) : -1;
#endif
  if (pos < 0) {
    *ok = false;
    return 0;
  }
  return static_cast<uint64_t>(pos);
}

}  // namespace

Status FileSource::Open(const std::string& path, std::unique_ptr<FileSource>* out) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return Status::Error(std::string("cannot open the file: ") + std::strerror(errno));
  bool ok = false;
  uint64_t size = TellEnd(file, &ok);
  if (!ok) {
    std::fclose(file);
    return Status::Error("cannot read the file (not a regular file?)");
  }
  std::unique_ptr<FileSource> source(new FileSource());
  source->file_ = file;
  source->size_ = size;
  source->path_ = path;
  *out = std::move(source);
  return Status::Ok();
}

FileSource::~FileSource() {
  if (file_) std::fclose(file_);
}

Status FileSource::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (!RangeFits(offset, length, size_)) return Status::Error("read past the end of the file");
  if (length == 0) return Status::Ok();
  if (SeekTo(file_, offset) != 0) return Status::Error("cannot seek in the file");
  if (std::fread(buffer, 1, length, file_) != length) return Status::Error("cannot read the file");
  return Status::Ok();
}

Status MemorySource::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (!RangeFits(offset, length, bytes_.size())) return Status::Error("read past the end of the data");
  if (length) std::memcpy(buffer, bytes_.data() + offset, length);
  return Status::Ok();
}

}  // namespace reader
