#include "logbook/fetch_logbook.h"

#include <utility>

#include "logbook/logbook_pages.h"
#include "logbook/reply_scan.h"
#include "logbook/temp_file.h"

namespace logbook {
namespace {

using https::FetchFailure;
using https::FetchResult;
using https::FetchSession;
using https::ReplyRequest;

// A page holds 2,000 records; one far larger than that is no page of a logbook.
constexpr size_t kMaxPageBytes = size_t{64} << 20;

FetchResult FailWith(std::string reason, FetchFailure failure = FetchFailure::kOther) {
  return {failure, std::move(reason)};
}

// Failures that a second try by pages may get past: the whole logbook in one reply took too
// long for the service, a proxy or the network.
bool IsWorthPaging(FetchFailure failure) {
  return failure == FetchFailure::kTimedOut || failure == FetchFailure::kServerError ||
         failure == FetchFailure::kBrokenOff;
}

// What the caller answers on hearing `progress`.
https::Flow Check(const ProgressCheck& progress, const DownloadProgress& now) {
  return progress ? progress(now) : https::Flow::kGoOn;
}

// The logbook as one reply, straight into the file.
FetchResult FetchWhole(FetchSession& session, const https::Service& service,
                       const ProgressCheck& progress, TempFile& file) {
  ReplyScanner scanner;
  ReplyRequest reply;
  reply.take_body = [&](std::string_view piece) -> std::string {
    scanner.Feed(piece);
    return file.Write(piece).message;
  };
  reply.check = [&] {
    return Check(progress, {scanner.records(), scanner.announced(), scanner.bytes()});
  };
  FetchResult result = https::FetchReply(session, service, reply);
  if (result.ok() && file.bytes_written() == 0) {
    return FailWith("the logbook service sent an empty reply");
  }
  return result;
}

// The logbook page by page, each page held until it is checked and then joined on.
FetchResult FetchPages(FetchSession& session, const https::Service& service,
                       const ProgressCheck& progress, TempFile& file) {
  PageJoiner joiner;
  DownloadProgress done;  // of the pages before the one under way
  for (;;) {
    std::string raw;
    ReplyScanner scanner;
    ReplyRequest reply;
    reply.option = MakePageOption(joiner.next_log_id());
    reply.take_body = [&](std::string_view piece) -> std::string {
      if (raw.size() + piece.size() > kMaxPageBytes) return "a page of the logbook was too large";
      scanner.Feed(piece);
      raw.append(piece);
      return "";
    };
    reply.check = [&] {
      DownloadProgress now = done;
      now.records += scanner.records();
      now.bytes += scanner.bytes();
      if (joiner.pages() == 0) now.announced = scanner.announced();
      return Check(progress, now);
    };
    if (FetchResult fetched = https::FetchReply(session, service, reply); !fetched.ok())
      return fetched;
    if (raw.empty()) return FailWith("the logbook service sent an empty reply");

    const Page page = ReadPage(raw);
    if (joiner.pages() == 0) done.announced = ReadNumberValue(page.front(), "COUNT");
    done.records += page.records;
    done.bytes += static_cast<std::int64_t>(raw.size());
    const PageJoiner::Result joined = joiner.Add(page);
    switch (joined.step) {
      case PageJoiner::Step::kFailed:
        return FailWith(joined.reason);
      case PageJoiner::Step::kKeyRefused:
        return FailWith(joined.reason, FetchFailure::kKeyRefused);
      case PageJoiner::Step::kNextPage:
      case PageJoiner::Step::kDone:
        break;
    }
    if (base::Error error = file.Write(joined.output)) return FailWith(std::move(error.message));
    if (joined.step == PageJoiner::Step::kDone) return {FetchFailure::kNone, ""};
  }
}

}  // namespace

FetchResult FetchLogbook(const https::Service& service, const std::string& temp_path,
                         const ProgressCheck& progress) {
  TempFile file;
  if (base::Error error = file.Open(temp_path)) return FailWith(std::move(error.message));
  // One connection for the whole update: the pages go where the first try went.
  FetchSession session;
  FetchResult result = FetchWhole(session, service, progress, file);
  if (!result.ok() && IsWorthPaging(result.failure)) {
    // The second try starts from an empty file.
    file.Discard();
    if (base::Error error = file.Open(temp_path)) return FailWith(std::move(error.message));
    result = FetchPages(session, service, progress, file);
  }
  if (result.ok()) {
    base::Error error = file.Close();
    if (!error) return result;
    result = FailWith(std::move(error.message));
  }
  file.Discard();
  https::ScrubKey(result.reason, service.api_key);
  return result;
}

}  // namespace logbook
