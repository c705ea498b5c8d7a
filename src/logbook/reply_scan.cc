#include "logbook/reply_scan.h"

#include <algorithm>

namespace logbook {
namespace {

bool Holds(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The value of `name` + "=" where it starts the text or follows an "&", up to the next "&".
std::optional<std::string_view> Value(std::string_view front, std::string_view name) {
  for (size_t at = front.find(name); at != std::string_view::npos; at = front.find(name, at + 1)) {
    const size_t start = at + name.size();
    if ((at == 0 || front[at - 1] == '&') && start < front.size() && front[start] == '=') {
      const size_t stop = front.find('&', start + 1);
      return front.substr(start + 1, stop == std::string_view::npos ? stop : stop - start - 1);
    }
  }
  return std::nullopt;
}

}  // namespace

void TextCounter::Look(std::string_view piece) {
  const size_t keep = text_.size() - 1;
  // Occurrences that begin in the tail and end in this piece.
  if (!tail_.empty()) {
    const std::string border = tail_ + std::string(piece.substr(0, keep));
    for (size_t at = border.find(text_); at != std::string::npos && at < tail_.size();
         at = border.find(text_, at + text_.size())) {
      ++count_;
    }
  }
  for (size_t at = piece.find(text_); at != std::string_view::npos;
       at = piece.find(text_, at + text_.size())) {
    ++count_;
  }
  if (piece.size() >= keep) {
    tail_.assign(piece.substr(piece.size() - keep));
  } else {
    tail_ += piece;
    tail_.erase(0, tail_.size() - std::min(tail_.size(), keep));
  }
}

ReplyVerdict JudgeReply(std::string_view front, std::int64_t records, bool says_ok) {
  ReplyKind kind = ReplyKind::kLogbook;
  if (Holds(front, "RESULT=AUTH") || Holds(front, "STATUS=AUTH")) {
    kind = ReplyKind::kKeyRefused;
  } else if (Holds(front, "RESULT=FAIL") || Holds(front, "STATUS=FAIL")) {
    kind = ReplyKind::kFailed;
  } else if (records == 0 && !says_ok) {
    return {ReplyKind::kNoLogbook, "the reply held no logbook"};
  } else {
    return {};
  }
  std::string reason = "the logbook service refused the request";
  if (const size_t at = front.find("REASON="); at != std::string_view::npos) {
    const size_t start = at + 7;
    const size_t stop = front.find('&', start);
    const std::string_view value =
        front.substr(start, stop == std::string_view::npos ? stop : stop - start);
    if (!value.empty()) reason = "the logbook service said: " + std::string(value);
  }
  return {kind, std::move(reason)};
}

std::optional<std::int64_t> ReadNumberValue(std::string_view front, std::string_view name) {
  const std::optional<std::string_view> value = Value(front, name);
  if (!value || value->empty() || value->size() > 18) return std::nullopt;
  std::int64_t number = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string_view ReplyScanner::Feed(std::string_view raw) {
  bytes_ += static_cast<std::int64_t>(raw.size());
  text_.clear();
  normaliser_.Feed(raw, text_);
  if (!finder_.found() && finder_.Look(text_)) {
    announced_ = ReadNumberValue(finder_.front(), "COUNT");
  }
  Look();
  return text_;
}

std::string_view ReplyScanner::Finish() {
  text_.clear();
  if (finished_) return text_;
  finished_ = true;
  normaliser_.Finish(text_);
  if (!finder_.found()) finder_.Look(text_);
  Look();
  return text_;
}

void ReplyScanner::Look() {
  // Only a reply without records needs to say OK.
  if (records() > 0) return;
  result_ok_.Look(text_);
  status_ok_.Look(text_);
}

ReplyVerdict ReplyScanner::Judge() {
  Finish();
  return JudgeReply(finder_.front(), records(), result_ok_.count() + status_ok_.count() > 0);
}

}  // namespace logbook
