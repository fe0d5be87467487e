#include "reader/core/byte_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace reader {

#if defined(__linux__)
namespace {

// Below this a buffer stays on the heap, where a few small pools cost less
// than a mapping each.
constexpr size_t kMapFrom = size_t(256) << 10;

size_t RoundUp(size_t n, size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace
#endif

void ByteBuffer::Release() {
#if defined(__linux__)
  if (mapped_) {
    munmap(data_, capacity_);
  } else {
    std::free(data_);
  }
#else
  std::free(data_);
#endif
  data_ = nullptr;
  size_ = capacity_ = 0;
  mapped_ = false;
}

void ByteBuffer::Grow(size_t more) {
  if (more > SIZE_MAX / 2 - size_) throw std::bad_alloc();
  size_t need = size_ + more;
  // Doubling keeps appends amortised constant; a mapping costs no memory
  // for the part not yet written.
  size_t target = capacity_ * 2 > need ? capacity_ * 2 : need;
  if (target < 64) target = 64;
#if defined(__linux__)
  if (target >= kMapFrom) {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    target = RoundUp(target, page);
    void* p;
    if (mapped_) {
      p = mremap(data_, capacity_, target, MREMAP_MAYMOVE);
    } else {
      p = mmap(nullptr, target, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p != MAP_FAILED && size_) std::memcpy(p, data_, size_);
    }
    if (p == MAP_FAILED) throw std::bad_alloc();
    if (!mapped_) std::free(data_);
    data_ = static_cast<char*>(p);
    capacity_ = target;
    mapped_ = true;
    // Large pages where the system offers them: a pool of shared strings is
    // read in no order, and with 4 KiB pages most of those reads also miss
    // the address cache. Advice only; the bytes are the same either way.
    madvise(p, target, MADV_HUGEPAGE);
    return;
  }
#endif
  void* p = std::realloc(data_, target);
  if (!p) throw std::bad_alloc();
  data_ = static_cast<char*>(p);
  capacity_ = target;
}

}  // namespace reader
