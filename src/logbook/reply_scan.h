// What a reply of the logbook service says about itself: whether it is a logbook at all,
// the service's own failure answer in the text in front of the data, the number of records
// it announces (COUNT) and how many have arrived. Used while the reply arrives (progress)
// and when it is processed (the verdict); bytes in, facts out, no files.
#ifndef STATEKEEPER_LOGBOOK_REPLY_SCAN_H_
#define STATEKEEPER_LOGBOOK_REPLY_SCAN_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logbook/normalise.h"

namespace logbook {

// Counts the occurrences of a fixed text in a stream of pieces, across the pieces' borders
// too. The text must not overlap itself ("<eor>", "RESULT=OK").
class TextCounter {
 public:
  explicit TextCounter(std::string_view text) : text_(text) {}
  void Look(std::string_view piece);
  std::int64_t count() const { return count_; }

 private:
  std::string text_;
  std::string tail_;  // the last text_.size() - 1 bytes seen
  std::int64_t count_ = 0;
};

// How a reply turned out.
enum class ReplyKind {
  kLogbook,     // records, or a real empty logbook
  kFailed,      // the service's RESULT=FAIL answer, or no logbook at all
  kKeyRefused,  // the service's RESULT=AUTH answer
};

struct ReplyVerdict {
  ReplyKind kind = ReplyKind::kLogbook;
  std::string reason;  // why it is no logbook, fit to show; "" for kLogbook
};

// The service's own answer in `front`, the text in front of the data: RESULT=AUTH or
// STATUS=AUTH refuse the key, RESULT=FAIL or STATUS=FAIL fail, with the REASON= value (up
// to the next "&") as the reason. Anything else is kLogbook.
ReplyVerdict ReadServiceAnswer(std::string_view front);

// The verdict on a whole reply: the service's answer in `front` first; then a reply with no
// record that never says RESULT=OK (or STATUS=OK) is no logbook (a maintenance page, a
// proxy's page).
ReplyVerdict JudgeReply(std::string_view front, std::int64_t records, bool says_ok);

// Returns the value of the key `name` ("COUNT") in the service's "&"-separated front text,
// or nullopt when the key is missing or its value is not a number that fits.
std::optional<std::int64_t> ReadNumberValue(std::string_view front, std::string_view name);

// Follows a reply as its bytes arrive, in pieces of any size.
class ReplyScanner {
 public:
  void Feed(std::string_view raw);

  std::int64_t bytes() const { return bytes_; }
  // Records ("<eor>" after decoding) seen so far.
  std::int64_t records() const { return normaliser_.records(); }
  // The COUNT in front of the data, once the data has begun.
  std::optional<std::int64_t> announced() const { return announced_; }
  // The verdict on what has arrived, once all of it has.
  ReplyVerdict Judge();

 private:
  void LookForOk();

  Normaliser normaliser_;
  DataStartFinder finder_;
  TextCounter result_ok_{"RESULT=OK"};
  TextCounter status_ok_{"STATUS=OK"};
  std::string text_;
  std::int64_t bytes_ = 0;
  std::optional<std::int64_t> announced_;
  bool finished_ = false;
};

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_REPLY_SCAN_H_
