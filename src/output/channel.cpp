#include "output/channel.h"

#include "output/whole_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace vok {

Channel::~Channel() {
  if (mode_ == Mode::file) close();
}

int Channel::open_file(const std::string& path) {
  if (is_open()) close();
  std::string temporary;
  const int fd = create_temporary(path, temporary);
  const auto refused = [&](int error) {
    path_ = path;
    error_number_ = error;
    return error;
  };
  if (fd < 0) return refused(-fd);
  std::FILE* f = ::fdopen(fd, "w");
  if (f == nullptr) {
    const int error = errno;
    ::close(fd);
    discard_temporary(temporary);
    return refused(error);
  }
  std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  file_ = f;
  path_ = path;
  temporary_path_ = std::move(temporary);
  error_number_ = 0;
  mode_ = Mode::file;
  failed_ = false;
  reported_ = false;
  return 0;
}

int Channel::descriptor() const { return mode_ == Mode::file ? ::fileno(file_) : -1; }

long long Channel::commit_so_far() {
  if (mode_ != Mode::file) return 0;
  if (std::fflush(file_) != 0) {
    fail();
    return -error_number_;
  }
  const off_t length = ::lseek(::fileno(file_), 0, SEEK_CUR);
  std::string copy;
  const int to = create_temporary(path_, copy);
  if (to < 0) return to;
  const int from = ::open(temporary_path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  int error = from < 0 ? errno : 0;
  char block[1 << 14];
  for (off_t at = 0; error == 0 && at < length;) {
    const ssize_t got = ::pread(from, block, std::min<off_t>(sizeof block, length - at), at);
    if (got <= 0) {
      error = got < 0 ? errno : EIO;
      break;
    }
    for (ssize_t put = 0; error == 0 && put < got;) {
      const ssize_t n = ::write(to, block + put, static_cast<std::size_t>(got - put));
      if (n < 0) error = errno;
      else put += n;
    }
    at += got;
  }
  if (from >= 0) ::close(from);
  if (::close(to) != 0 && error == 0) error = errno;
  if (error != 0) {
    discard_temporary(copy);
    return -error;
  }
  if (const int status = commit_temporary(copy, path_); status != 0) return -status;
  return length;
}

void Channel::discard() {
  if (mode_ != Mode::file) return;
  std::fclose(file_);
  file_ = nullptr;
  mode_ = Mode::closed;
  discard_temporary(std::exchange(temporary_path_, {}));
}

void Channel::attach(std::FILE* stream) {
  if (is_open()) close();
  file_ = stream;
  path_.clear();
  mode_ = Mode::stream;
  failed_ = false;
  reported_ = false;
}

bool Channel::is_terminal() const {
  return mode_ == Mode::stream && ::isatty(::fileno(file_)) == 1;
}

void Channel::capture() {
  if (is_open()) close();
  buffer_.clear();
  mode_ = Mode::memory;
  failed_ = false;
}

void Channel::fail() {
  if (!failed_) error_number_ = errno;
  failed_ = true;
  if (reported_) return;
  reported_ = true;
  if (owner_ != nullptr) owner_->report_write_error(*this);
}

bool Channel::flush() {
  if ((mode_ == Mode::file || mode_ == Mode::stream) && std::fflush(file_) != 0) fail();
  return !failed_;
}

bool Channel::close() {
  switch (mode_) {
    case Mode::file: {
      // With sync_outputs on the disk before it is renamed over the earlier
      // file, so that a power loss leaves the one or the other.
      const bool sync = owner_ != nullptr && owner_->sync_outputs;
      bool ok = std::fflush(file_) == 0 && !std::ferror(file_) &&
                (!sync || ::fsync(::fileno(file_)) == 0);
      const int error = errno;
      ok = std::fclose(file_) == 0 && ok;
      file_ = nullptr;
      // Marked closed before the failure is reported: nothing more goes to it.
      mode_ = Mode::closed;
      if (ok && !failed_) {
        finish_file();
      } else {
        discard_temporary(std::exchange(temporary_path_, {}));
        errno = error;
        fail();
      }
      break;
    }
    case Mode::stream:
      flush();
      file_ = nullptr;
      break;
    case Mode::memory:
    case Mode::closed:
      break;
  }
  mode_ = Mode::closed;
  return !failed_;
}

void Channel::finish_file() {
  std::string temporary = std::exchange(temporary_path_, {});
  if (owner_ != nullptr) {
    owner_->stage({std::move(temporary), path_});
    return;
  }
  if (const int error = commit_temporary(temporary, path_); error != 0) {
    errno = error;
    fail();
  }
}

void Channel::put(std::string_view bytes) {
  switch (mode_) {
    case Mode::file:
    case Mode::stream:
      if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        fail();
      break;
    case Mode::memory:
      buffer_.append(bytes);
      break;
    case Mode::closed:
      break;
  }
}

void Channel::line(std::string_view text) {
  if (mode_ == Mode::closed) return;
  put(text);
  put("\n");
}

void Channel::append(std::string_view lines) {
  if (mode_ == Mode::closed) return;
  put(lines);
}

void Channel::write(const Layout& layout, std::span<const Value> values) {
  if (mode_ == Mode::closed) return;
  for (const std::string& text : layout.format(values)) line(text);
}

ChannelGroup::ChannelGroup(std::initializer_list<Channel*> members) {
  if (members.size() > kMaxMembers) throw std::length_error("too many channels in a group");
  for (Channel* member : members) members_[size_++] = member;
}

void ChannelGroup::line(std::string_view text) const {
  for (std::size_t i = 0; i < size_; ++i) members_[i]->line(text);
}

void ChannelGroup::write(const Layout& layout, std::span<const Value> values) const {
  // Formatted once, written to each member.
  const std::vector<std::string> lines = layout.format(values);
  for (std::size_t i = 0; i < size_; ++i)
    for (const std::string& text : lines) members_[i]->line(text);
}

void ChannelGroup::write_free(std::span<const Value> items) const {
  line(free_format(items));
}

void ChannelGroup::append(std::string_view lines) const {
  for (std::size_t i = 0; i < size_; ++i) members_[i]->append(lines);
}

bool Channels::close_all() {
  // The error file last: a failure of any other file is reported on it. Every
  // failure is counted when it shows, so the count alone tells (a channel
  // closed earlier still remembers the failure of the file it had).
  console.flush();
  standard_error.flush();
  for (Channel* c : {&report, &graph, &frames, &xy_graph, &error_file}) c->close();
  for (const Staged& s : take_staged())
    if (const int error = commit_temporary(s.temporary_path, s.path); error != 0)
      report_write_error(s.path, error);
  return write_errors_ == 0;
}

void Channels::report_write_error(const Channel& failed) {
  ++write_errors_;
  if (&failed != &console && &failed != &standard_error && &failed != &error_file)
    ++output_errors_;
  const bool is_file = !failed.path().empty();
  for (Channel* c : {&console, &error_file}) {
    if (c == &failed) continue;
    if (is_file)
      c->write_free({"**** Error writing file", failed.path()});
    else
      c->write_free({"**** Error writing", failed.name()});
    if (failed.error_number() != 0)
      c->write_free(
          {file_error_line(is_file ? failed.path() : failed.name(), failed.error_number())});
  }
}

void Channels::report_write_error(const std::string& path, int error_number) {
  ++write_errors_;
  if (path != error_file.path()) ++output_errors_;
  for (Channel* c : {&console, &error_file}) {
    c->write_free({"**** Error writing file", path});
    c->write_free({file_error_line(path, error_number)});
  }
}

std::string file_error_line(const std::string& path, int error_number) {
  return "at " + path + ": " + std::strerror(error_number);
}

bool Channels::any_failed() const {
  for (const Channel* c :
       {&console, &standard_error, &error_file, &report, &graph, &frames, &xy_graph})
    if (c->failed()) return true;
  return false;
}

Channels::~Channels() {
  for (Channel* c : {&report, &graph, &frames, &xy_graph, &error_file}) c->discard();
  for (const Staged& s : take_staged()) discard_temporary(s.temporary_path);
}

void Channels::attach_standard_streams() {
  console.attach(stdout);
  standard_error.attach(stderr);
}

CapturedChannels::CapturedChannels() {
  channels_.console.capture();
  channels_.standard_error.capture();
}

CapturedChannels::~CapturedChannels() {
  channels_.close_all();
}

}  // namespace vok
