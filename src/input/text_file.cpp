#include "input/text_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <cstring>

namespace vok {

namespace {
constexpr std::size_t kBufferSize = 1 << 16;

// A name read from a file may hold a NUL byte; the system would see only the
// part before it and so name another file.
bool names_a_file(const std::string& path) {
  return path.find('\0') == std::string::npos;
}
}  // namespace

bool file_exists(const std::string& path) {
  struct stat info;
  return names_a_file(path) && ::stat(path.c_str(), &info) == 0;
}

int TextFile::open(const std::string& path) {
  close();
  if (!names_a_file(path)) return ENOENT;
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return EISDIR;
    // Only regular files are read: a pipe would wait for a writer, and a
    // device such as /dev/zero is a line without end.
    if (!S_ISREG(info.st_mode)) return EINVAL;
  }
  errno = 0;
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return errno != 0 ? errno : EIO;
  path_ = path;
  buffer_.resize(kBufferSize);
  begin_ = end_ = 0;
  eof_ = false;
  error_ = 0;
  return 0;
}

std::string TextFile::open_failure(int error) {
  return error == EINVAL ? "not a regular file" : std::strerror(error);
}

void TextFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  begin_ = end_ = 0;
  eof_ = false;
}

void TextFile::rewind() {
  if (file_ == nullptr) return;
  std::rewind(file_);
  begin_ = end_ = 0;
  eof_ = false;
  error_ = 0;
}

bool TextFile::fill() {
  if (eof_ || file_ == nullptr) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  end_ += got;
  if (got == 0) {
    if (std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
    eof_ = true;
    return false;
  }
  return true;
}

std::size_t TextFile::read_bytes(char* to, std::size_t size) {
  if (file_ == nullptr) return 0;
  std::size_t got = std::min(size, end_ - begin_);
  if (got > 0) std::memcpy(to, buffer_.data() + begin_, got);
  begin_ += got;
  if (got < size && !eof_) {
    got += std::fread(to + got, 1, size - got, file_);
    if (got < size) {
      if (std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
      eof_ = true;
    }
  }
  return got;
}

std::size_t TextFile::bytes_left() const {
  if (file_ == nullptr) return 0;
  struct stat info;
  const off_t at = ::ftello(file_);
  if (::fstat(::fileno(file_), &info) != 0 || !S_ISREG(info.st_mode) || at < 0)
    return SIZE_MAX;
  const auto read = static_cast<std::uint64_t>(at) - (end_ - begin_);
  const auto size = static_cast<std::uint64_t>(info.st_size);
  return size > read ? static_cast<std::size_t>(size - read) : 0;
}

bool TextFile::read_line(std::string& line) {
  std::string_view view;
  if (!read_line(view)) {
    line.clear();
    return false;
  }
  line.assign(view);
  return true;
}

bool TextFile::overlong() {
  overlong_start_.assign(buffer_.data() + begin_, std::min<std::size_t>(end_ - begin_, 80));
  error_ = EFBIG;
  eof_ = true;
  begin_ = end_;
  return false;
}

bool TextFile::read_line(std::string_view& line) {
  line = {};
  unterminated_ = false;
  if (file_ == nullptr) return false;
  std::size_t scanned = begin_;
  while (true) {
    const char* start = buffer_.data() + scanned;
    const void* nl = std::memchr(start, '\n', end_ - scanned);
    if (nl != nullptr) {
      std::size_t stop = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.data());
      if (stop - begin_ > line_limit_) return overlong();
      line = std::string_view(buffer_.data() + begin_, stop - begin_);
      begin_ = stop + 1;
      break;
    }
    scanned = end_ - begin_;
    if (scanned > line_limit_) return overlong();
    if (!fill()) {
      if (error_ != 0 || begin_ == end_) return false;
      // Last line without a line end.
      line = std::string_view(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      unterminated_ = true;
      break;
    }
    scanned += begin_;
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

}  // namespace vok
