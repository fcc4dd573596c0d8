// A text file read line by line, as the control files and data files are.
// Line ends may be LF or CRLF (a file written on another system); the line
// end is not part of the line. Reading is buffered, so long data files stream
// through a fixed amount of memory.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// True when a file (or anything else, a directory included) exists at path.
bool file_exists(const std::string& path);

class TextFile {
 public:
  // The longest line read: a longer one is a read error (error() EFBIG), never
  // a buffer that grows with it.
  static constexpr std::size_t kLineLimit = std::size_t{64} << 20;

  TextFile() = default;
  ~TextFile() { close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opens a regular file for reading. Returns 0 or the system's error number
  // (a directory gives EISDIR, a pipe or a device EINVAL).
  int open(const std::string& path);
  // Why open failed, for the detail line: the system's reason, or "not a
  // regular file" for a pipe, a socket or a device.
  static std::string open_failure(int error);
  void close();
  bool is_open() const { return file_ != nullptr; }
  const std::string& path() const { return path_; }

  // Back to the first line.
  void rewind();
  // Reads the next line into `line`. Returns false at the end of the file, or
  // when reading fails (then error() is the system's error number).
  bool read_line(std::string& line);
  // read_line without a copy: `line` views the file's buffer and holds until
  // the next read.
  bool read_line(std::string_view& line);
  // Reads the next `size` bytes (the rest of a line read in part included)
  // into `to`. Returns the bytes read: fewer at the end of the file, or when
  // reading fails (then error() is the system's error number).
  std::size_t read_bytes(char* to, std::size_t size);
  // The bytes from the reading position to the end of the file as it is now
  // (a file being written may grow); SIZE_MAX when that is not known.
  std::size_t bytes_left() const;
  int error() const { return error_; }
  // The line read last was the file's last and had no line end.
  bool last_line_unterminated() const { return unterminated_; }
  std::size_t line_limit() const { return line_limit_; }
  void set_line_limit(std::size_t bytes) { line_limit_ = bytes; }
  // After a line longer than the limit: its first characters (up to 80).
  const std::string& overlong_start() const { return overlong_start_; }

 private:
  bool fill();
  // Ends the reading at a line longer than the limit.
  bool overlong();

  std::FILE* file_ = nullptr;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  bool eof_ = false;
  bool unterminated_ = false;
  std::size_t line_limit_ = kLineLimit;
  std::string overlong_start_;
  int error_ = 0;
};

}  // namespace vok
