// The reply of the Logbook service turned into the Local log file's text, as a stream: the
// reply may be hundreds of megabytes, so it is fed in chunks of any size and the text comes
// out as it is made. The result is byte for byte that of these steps on the whole reply:
//   1. every LF deleted;
//   2. every "&lt;" replaced by "<", then 3. every "&gt;" by ">";
//   4. a CR put after every "<eor>";
//   5. everything up to and including the "=" of the first "=<" dropped (nothing when
//      there is no "=<").
// Steps 1 to 4 are done here; step 5 needs to know where the first "=<" is before the
// text is written, which FindDataStart tells.
#ifndef STATEKEEPER_LOGBOOK_NORMALISE_H_
#define STATEKEEPER_LOGBOOK_NORMALISE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace logbook {

// How far a Normaliser goes: steps 1 to 4, or only the decoding of steps 1 to 3, which
// page joining uses so that joined pages read exactly like one reply.
enum class Steps { kAll, kDecode };

// Steps 1 to 4 (or 1 to 3). Each Feed appends the text it can already decide on to `out`;
// Finish appends what is held back at the end (a cut-off "&l", say).
class Normaliser {
 public:
  explicit Normaliser(Steps steps = Steps::kAll) : mark_record_ends_(steps == Steps::kAll) {}
  void Feed(std::string_view chunk, std::string& out);
  void Finish(std::string& out);
  // How many "<eor>" the text made so far holds: the records of the reply.
  std::int64_t records() const { return records_; }

 private:
  void Decoded(char c, std::string& out);
  void Entity(char c, std::string& out);

  bool mark_record_ends_;  // step 4
  char pending_[4] = {};   // the start of a possible "&lt;" or "&gt;"
  int pending_length_ = 0;
  int eor_matched_ = 0;  // how much of "<eor>" the text just made ends with
  std::int64_t records_ = 0;
};

// Step 5, told about the text that steps 1 to 4 make, piece by piece.
class DataStartFinder {
 public:
  // Looks at the next piece of text; returns true once the first "=<" has been seen.
  bool Look(std::string_view text);
  bool found() const { return found_; }
  // How many bytes of the text are dropped: up to and including the "=" of the first "=<",
  // or 0 when there is none.
  std::uint64_t drop() const { return found_ ? drop_ : 0; }
  // The reply's own text in front of the data (before that "="), or all text seen when
  // there is no "=<"; at most kFrontLimit bytes of it are kept.
  const std::string& front() const { return front_; }

  static constexpr size_t kFrontLimit = 1 << 16;

 private:
  std::uint64_t seen_ = 0;
  std::uint64_t drop_ = 0;
  bool last_was_equals_ = false;
  bool found_ = false;
  std::string front_;
};

// Steps 1 to 3 of a text in memory: every LF deleted, then "&lt;" and "&gt;" decoded. The
// normalisation of the result is that of `raw`.
std::string DecodeReply(std::string_view raw);

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_NORMALISE_H_
