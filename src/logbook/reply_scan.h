// What a reply of the logbook service says about itself: whether it is a logbook at all,
// the service's own failure answer in the text in front of the data, the number of records
// it announces (COUNT) and how many have arrived. The one judge of every reply, whole or a
// page: used while it arrives (progress), when a page is joined and when the reply is
// processed (the verdict); bytes in, text and facts out, no files.
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
  kFailed,      // the service's RESULT=FAIL or STATUS=FAIL answer
  kKeyRefused,  // the service's RESULT=AUTH or STATUS=AUTH answer
  kNoLogbook,   // no answer of the service, no record and never RESULT=OK (or STATUS=OK)
};

struct ReplyVerdict {
  ReplyKind kind = ReplyKind::kLogbook;
  std::string reason;  // why it is no logbook, fit to show; "" for kLogbook
};

// The verdict on a reply, whole or one page, from what its text says: the service's answer
// in `front`, the text in front of the data, comes first (AUTH refuses the key, FAIL
// fails, each with the REASON= value up to the next "&" as the reason); then a reply with no
// record that never says OK is no logbook (a maintenance page, a proxy's page). The
// service writes capitals; so does this.
ReplyVerdict JudgeReply(std::string_view front, std::int64_t records, bool says_ok);

// Returns the value of the key `name` ("COUNT") in the service's "&"-separated front text,
// or nullopt when the key is missing or its value is not a number that fits.
std::optional<std::int64_t> ReadNumberValue(std::string_view front, std::string_view name);

// Follows a reply as its bytes arrive, in pieces of any size, normalising it (steps 1 to 4
// of normalise.h) on the way.
class ReplyScanner {
 public:
  // Takes the next piece of the reply. Returns the normalised text that it adds, valid until
  // the next call.
  std::string_view Feed(std::string_view raw);
  // Takes the end of the reply. Returns the text held back until the end; nothing after the
  // first call.
  std::string_view Finish();

  std::int64_t bytes() const { return bytes_; }
  // Records ("<eor>" after decoding) seen so far.
  std::int64_t records() const { return normaliser_.records(); }
  // The COUNT in front of the data, once the data has begun.
  std::optional<std::int64_t> announced() const { return announced_; }
  // Where the data begins in the normalised text, and the text in front of it.
  const DataStartFinder& data_start() const { return finder_; }
  // The verdict on the whole reply (JudgeReply); finishes it first.
  ReplyVerdict Judge();

 private:
  void Look();

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
