// What a reply says about itself, on any bytes: the streaming scanner must agree with the
// whole reply read at once whatever the chunk boundaries (records, the announced count, the
// verdict with its STATUS=/RESULT= answers and the record check), and a page must decode
// to what normalises like the reply itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "logbook/logbook_pages.h"
#include "logbook/reply_scan.h"
#include "reference_pipeline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = 1 + data[0] % 23;
  const std::string_view reply(reinterpret_cast<const char*>(data) + 1, size - 1);

  logbook::ReplyScanner pieces;
  for (size_t at = 0; at < reply.size(); at += chunk) pieces.Feed(reply.substr(at, chunk));
  logbook::ReplyScanner whole;
  whole.Feed(reply);
  const logbook::ReplyVerdict in_pieces = pieces.Judge();
  const logbook::ReplyVerdict at_once = whole.Judge();
  if (in_pieces.kind != at_once.kind || in_pieces.reason != at_once.reason) std::abort();
  if (pieces.records() != whole.records() || pieces.announced() != whole.announced()) std::abort();

  // The page reader sees the same records. (A record end in front of the data counts for
  // the reply but is no record of a page.)
  const logbook::Page page = logbook::ReadPage(reply);
  if (page.front().find("<eor>") == std::string_view::npos && page.records != whole.records()) {
    std::abort();
  }
  // Decoding leaves the normalisation nothing more to do.
  if (reference::NormaliseReply(page.text) != reference::NormaliseReply(std::string(reply))) {
    std::abort();
  }
  return 0;
}
