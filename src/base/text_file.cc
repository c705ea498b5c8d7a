#include "base/text_file.h"

#include <climits>
#include <cstring>

namespace base {
namespace {

constexpr size_t kBufferSize = 1 << 16;
constexpr int kCarriageReturn = '\r';
constexpr int kLineFeed = '\n';
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = 3;

bool StartsWithByteOrderMark(const char* data, size_t size) {
  return size >= kByteOrderMarkSize && std::memcmp(data, kByteOrderMark, kByteOrderMarkSize) == 0;
}

}  // namespace

int ParseCount(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

LineReader::LineReader(const std::string& path, TextRule rule)
    : file_(std::fopen(path.c_str(), "rb")), rule_(rule), buffer_(kBufferSize) {
  at_end_ = !file_.valid();
}

bool LineReader::Fill() {
  if (at_end_) return false;
  begin_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
  if (end_ == 0) {
    at_end_ = true;
    return false;
  }
  if (at_start_) {
    at_start_ = false;
    if (rule_ == TextRule::kHandEdited && StartsWithByteOrderMark(buffer_.data(), end_)) {
      begin_ = kByteOrderMarkSize;
    }
  }
  return true;
}

// The offset of the first line end in the `available` bytes at `start`, or `available`.
size_t LineReader::FindLineEnd(const char* start, size_t available) const {
  if (rule_ == TextRule::kCarriageReturn) {
    const auto* cr = static_cast<const char*>(std::memchr(start, kCarriageReturn, available));
    return cr == nullptr ? available : static_cast<size_t>(cr - start);
  }
  size_t i = 0;
  while (i < available && start[i] != kCarriageReturn && start[i] != kLineFeed) ++i;
  return i;
}

bool LineReader::Next(std::string_view& line) {
  carry_.clear();
  bool spans = false;  // part of the line is in carry_
  for (;;) {
    if (begin_ == end_ && !Fill()) {
      line = carry_;
      return spans;
    }
    if (skip_lf_) {
      skip_lf_ = false;
      if (buffer_[begin_] == '\n') {
        ++begin_;
        continue;
      }
    }
    const char* start = buffer_.data() + begin_;
    const size_t available = end_ - begin_;
    // The line ends at the first line end or end-of-data byte, whichever comes first.
    size_t length = FindLineEnd(start, available);
    if (const auto* stop = static_cast<const char*>(std::memchr(start, kEndOfData, length))) {
      length = static_cast<size_t>(stop - start);
    }
    if (length == available) {  // no line end in the buffer yet
      carry_.append(start, length);
      spans = true;
      begin_ = end_;
      continue;
    }
    const char end = start[length];
    const bool end_of_data = end == kEndOfData;
    if (spans) {
      carry_.append(start, length);
      line = carry_;
    } else {
      line = std::string_view(start, length);
    }
    begin_ += length + 1;
    if (end_of_data) {
      at_end_ = true;
      begin_ = end_;
      return spans || length > 0;
    }
    skip_lf_ = end == kCarriageReturn;
    return true;
  }
}

bool LineReader::Next(std::string& line) {
  std::string_view view;
  const bool found = Next(view);
  line.assign(view);
  return found;
}

FieldReader::FieldReader(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
  at_end_ = !file_.valid();
  if (at_end_) return;
  char start[kByteOrderMarkSize];
  const size_t read = std::fread(start, 1, sizeof start, file_.get());
  if (!StartsWithByteOrderMark(start, read)) std::rewind(file_.get());
}

int FieldReader::Peek() {
  if (at_end_) return EOF;
  const int c = std::getc(file_.get());
  if (c == EOF || c == LineReader::kEndOfData) {
    at_end_ = true;
    return EOF;
  }
  std::ungetc(c, file_.get());
  return c;
}

int FieldReader::Get() {
  const int c = Peek();
  if (c != EOF) std::getc(file_.get());
  return c;
}

bool FieldReader::AtEnd() { return Peek() == EOF; }

// Consumes the rest of a field up to and including its delimiter: a comma, a lone LF, or a
// CR with an LF right after it.
void FieldReader::SkipToDelimiter() {
  for (int c = Get(); c != EOF; c = Get()) {
    if (c == ',' || c == kLineFeed) return;
    if (c == kCarriageReturn) {
      if (Peek() == kLineFeed) Get();
      return;
    }
  }
}

std::string FieldReader::ReadField() {
  std::string field;
  while (Peek() == ' ') Get();
  if (Peek() == '"') {
    Get();
    for (int c = Get(); c != EOF && c != '"'; c = Get()) {
      if (c != kLineFeed && c != '\t') field += static_cast<char>(c);
    }
    SkipToDelimiter();
    return field;
  }
  for (int c = Get(); c != EOF; c = Get()) {
    if (c == ',' || c == kLineFeed) break;
    if (c == kCarriageReturn) {
      if (Peek() == kLineFeed) Get();
      break;
    }
    if (c != '\t') field += static_cast<char>(c);
  }
  return field;
}

int FieldReader::ReadNumber() {
  std::string digits;
  while (Peek() == ' ') Get();
  for (int c = Peek(); c != EOF && c != ',' && c != ' ' && c != kCarriageReturn && c != kLineFeed;
       c = Peek()) {
    Get();
    if (c != '\t') digits += static_cast<char>(c);
  }
  SkipToDelimiter();
  return ParseCount(digits);
}

std::string FirstField(std::string_view line) {
  const std::size_t start = line.find_first_not_of(' ');
  line.remove_prefix(start == std::string_view::npos ? line.size() : start);
  if (!line.empty() && line.front() == '"') {
    line.remove_prefix(1);
    return std::string(line.substr(0, line.find('"')));
  }
  line = line.substr(0, line.find(','));
  while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
  return std::string(line);
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace base
