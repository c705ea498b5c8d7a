// A large logbook fetched page by page, as the logbook service recommends when the whole
// logbook in one reply takes too long: each page is asked for with
// "OPTION=MAX:2000,AFTERLOGID:n" (n inclusive), and the pages are joined into the text of
// one reply that holds all their records. Pure text work; the requests are made elsewhere.
#ifndef STATEKEEPER_LOGBOOK_LOGBOOK_PAGES_H_
#define STATEKEEPER_LOGBOOK_LOGBOOK_PAGES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "logbook/reply_scan.h"

namespace logbook {

inline constexpr int kPageSize = 2000;
inline constexpr int kMaxPages = 5000;

// Returns the OPTION value that asks for the page of records from log id `after_log_id` on
// ("MAX:2000,AFTERLOGID:n").
std::string MakePageOption(std::uint64_t after_log_id);

// One page's reply, decoded and taken apart.
struct Page {
  std::string text;       // decoded
  size_t data_start = 0;  // the "<" of the first "=<" (0 when there is none)
  size_t data_end = 0;    // just behind the last "<eor>" (data_start when there is none)
  std::int64_t records = 0;
  std::optional<std::uint64_t> lowest_log_id;   // of the app_qrzlog_logid fields
  std::optional<std::uint64_t> highest_log_id;  // of the app_qrzlog_logid fields
  bool has_data_start = false;
  ReplyVerdict verdict;  // the page judged as a whole reply is judged

  std::string_view front() const;  // the text before the "=" of the first "=<"
};

// Decodes `raw` (DecodeReply), finds its data and log ids, and judges it.
Page ReadPage(std::string_view raw);

// Joins the pages one after the other. Each call to Add says what to write to the joined
// text and whether to go on.
class PageJoiner {
 public:
  enum class Step {
    kNextPage,  // write `output`, then ask for the page from next_log_id()
    kDone,      // write `output`; the joined text is complete
    kFailed,    // the whole paged download fails with `reason`
    kKeyRefused,
  };
  struct Result {
    Step step = Step::kFailed;
    std::string output;
    std::string reason;
  };

  Result Add(const Page& page);
  std::uint64_t next_log_id() const { return next_log_id_; }
  int pages() const { return pages_; }

 private:
  std::uint64_t next_log_id_ = 0;
  int pages_ = 0;
  std::string trailer_;  // the text behind the records of the last page with records
};

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_LOGBOOK_PAGES_H_
