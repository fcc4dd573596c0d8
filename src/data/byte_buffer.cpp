#include "data/byte_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vok {

void ByteBuffer::Free::operator()(char* p) const {
  std::free(p);
}

void ByteBuffer::reserve(std::size_t size, std::size_t keep) {
  if (size <= size_) return;
  char* fresh = nullptr;
  std::size_t room = size;
  if (size >= kLarge) {
    room = (size + kHugePage - 1) / kHugePage * kHugePage;
    fresh = static_cast<char*>(std::aligned_alloc(kHugePage, room));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Advice only: where it is refused the pages are small, as without it.
    if (fresh != nullptr) madvise(fresh, room, MADV_HUGEPAGE);
#endif
  } else {
    fresh = static_cast<char*>(std::malloc(room));
  }
  if (fresh == nullptr) throw std::bad_alloc();
  if (keep > 0) std::memcpy(fresh, bytes_.get(), keep);
  bytes_.reset(fresh);
  size_ = room;
}

}  // namespace vok
