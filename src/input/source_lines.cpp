#include "input/source_lines.h"

#include <algorithm>
#include <string>

#include "output/channel.h"

namespace vok {

namespace {
constexpr std::size_t kSearchedLength = 700;  // what the field readers search
}  // namespace

std::string detail_line(const SourceLine& line, std::string_view why) {
  std::string out = "at " + line.file + " line " + std::to_string(line.number) + ": \"";
  out += std::string_view(line.text).substr(0, kDetailTextLength);
  out += '"';
  if (!why.empty()) {
    out += ": ";
    out += why;
  }
  return out;
}

void write_detail(const ChannelGroup& to, const SourceLine& line, std::string_view why) {
  to.write_free({detail_line(line, why)});
}

void JoinedText::start(std::string file) {
  text_.clear();
  file_ = std::move(file);
  lines_.clear();
  parts_.clear();
}

void JoinedText::append(std::string_view content, std::int64_t line_number,
                        std::string_view line) {
  lines_.push_back(SourceLine{file_, line_number, std::string(line)});
  parts_.push_back(Part{text_.size(), text_.size() + content.size(), lines_.size() - 1});
  text_ += content;
}

void JoinedText::pad_to(std::size_t length) {
  if (text_.size() < length) text_.resize(length, ' ');
}

const SourceLine* JoinedText::line_at(std::size_t offset) const {
  auto part = std::upper_bound(parts_.begin(), parts_.end(), offset,
                               [](std::size_t at, const Part& p) { return at < p.end; });
  if (part == parts_.end() || offset < part->begin) return nullptr;
  return &lines_[part->line];
}

const SourceLine* JoinedText::setting_line(std::string_view search) const {
  while (!search.empty() && search.back() == ' ') search.remove_suffix(1);
  const std::string_view searched = std::string_view(text_).substr(0, kSearchedLength);
  const std::size_t at = searched.find(search);
  if (at == std::string_view::npos) return nullptr;
  const std::size_t mark = searched.find('=', at);
  return line_at(mark == std::string_view::npos ? at : mark);
}

void JoinedText::write_setting_detail(const ChannelGroup& to, std::string_view search) const {
  if (file_.empty()) return;
  if (const SourceLine* line = setting_line(search)) {
    write_detail(to, *line);
    return;
  }
  while (!search.empty() && search.back() == ' ') search.remove_suffix(1);
  const std::string text = "at " + file_ + ": no label holds \"" + std::string(search) + "\"";
  to.write_free({text});
}

}  // namespace vok
