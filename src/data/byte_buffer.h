// Room for bytes that are about to be written over: a large block of a file
// read ahead, say. Unlike std::vector<char> it does not zero what it
// allocates, and a large buffer asks for huge pages where the system grants
// them on request. The first touch of fresh memory costs a page fault per
// page; for a buffer of a megabyte or more those faults, one per 4 KiB,
// cost more than the reading that fills it (about 5 ms for 2 MiB on a
// virtual machine), where a huge page takes one.
#pragma once

#include <cstddef>
#include <memory>

namespace vok {

class ByteBuffer {
 public:
  ByteBuffer() = default;

  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  // Bytes of room; what they hold before they are written is unspecified.
  std::size_t size() const { return size_; }
  char& operator[](std::size_t i) { return bytes_[i]; }
  char operator[](std::size_t i) const { return bytes_[i]; }

  // At least `size` bytes of room, the first `keep` (<= size()) kept.
  // Throws std::bad_alloc.
  void reserve(std::size_t size, std::size_t keep);

  // Buffers of this many bytes or more are rounded up to whole huge pages,
  // aligned to them, and marked for huge pages.
  static constexpr std::size_t kHugePage = std::size_t{2} << 20;
  static constexpr std::size_t kLarge = std::size_t{1} << 20;

 private:
  struct Free {
    void operator()(char* p) const;
  };
  std::unique_ptr<char[], Free> bytes_;
  std::size_t size_ = 0;
};

}  // namespace vok
