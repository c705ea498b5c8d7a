#include "logbook/local_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "award/band_files.h"
#include "award/country_file.h"
#include "base/atomic_file.h"
#include "base/file_commit.h"
#include "base/text_file.h"
#include "base/unique_handle.h"
#include "logbook/confirmed_countries.h"
#include "logbook/confirmed_states.h"
#include "logbook/reply_scan.h"

namespace logbook {
namespace {

constexpr size_t kChunkSize = 1 << 17;  // the chunk and its text stay in the cache
// The first pass looks only for the start of the data, which stands within the first bytes.
constexpr size_t kFirstChunkSize = 1 << 12;

SyncResult Failure(std::string reason, SyncOutcome outcome = SyncOutcome::kFailed) {
  return {outcome, std::move(reason)};
}

// Reads the reply in chunks of `chunk_size`; `sink(chunk)` gets them in turn and returns
// false to stop early. Fails with the reason when the reply cannot be read.
template <typename Sink>
base::Error ReadReply(const std::string& reply_path, size_t chunk_size, Sink sink) {
  base::UniqueFile file(std::fopen(reply_path.c_str(), "rb"));
  if (!file.valid()) return {"cannot read " + reply_path + ": " + std::strerror(errno)};
  const std::unique_ptr<char[]> chunk(new char[chunk_size]);  // no need to clear it first
  for (;;) {
    const size_t got = std::fread(chunk.get(), 1, chunk_size, file.get());
    if (got < chunk_size && std::ferror(file.get())) {
      return {"cannot read " + reply_path + ": " + std::strerror(errno)};
    }
    if (!sink(std::string_view(chunk.get(), got)) || got < chunk_size) return {};
  }
}

}  // namespace

SyncResult ProcessReply(const std::string& program_folder, const std::string& reply_path,
                        const std::string& log_path, award::ConfirmedCountryList& countries) {
  // First find where the data begins. The "=<" stands within the first bytes of a logbook,
  // so this pass ends almost at once.
  ReplyScanner head;
  if (const base::Error failed = ReadReply(reply_path, kFirstChunkSize,
                                           [&](std::string_view raw) {
                                             head.Feed(raw);
                                             return !head.data_start().found();
                                           });
      failed) {
    return Failure(failed.message);
  }

  // The Local log file: the normalised text without what stands in front of the data.
  // Whether the reply is a logbook at all is known only at its end.
  base::AtomicFile log(log_path, base::FileMode::kShared);
  std::uint64_t to_drop = head.data_start().drop();
  ReplyScanner scanner;
  const auto write = [&](std::string_view text) {
    const size_t dropped = static_cast<size_t>(std::min<std::uint64_t>(to_drop, text.size()));
    to_drop -= dropped;
    log.Write(text.substr(dropped));
  };
  if (const base::Error failed = ReadReply(reply_path, kChunkSize,
                                           [&](std::string_view raw) {
                                             write(scanner.Feed(raw));
                                             return true;
                                           });
      failed) {
    return Failure(failed.message);
  }
  write(scanner.Finish());
  if (const ReplyVerdict verdict = scanner.Judge(); verdict.kind != ReplyKind::kLogbook) {
    return Failure(verdict.reason, verdict.kind == ReplyKind::kKeyRefused ? SyncOutcome::kKeyRefused
                                                                          : SyncOutcome::kFailed);
  }
  log.Write("\r\n");
  if (const base::Error failed = log.Commit(base::Rename::kLater); failed) {
    return Failure(failed.message);
  }

  // Both extractions in one read of the new Local log file, on a copy of the list, so
  // that a failure further on leaves the list as it was.
  award::BandTallies tallies{};
  auto updated = std::make_unique<award::ConfirmedCountryList>(countries);
  {
    CountryCollector collector(*updated);
    base::LineReader reader(log.temp_path());
    for (std::string_view line; reader.Next(line);) {
      if (CountConfirmedState(line, tallies)) collector.AddConfirmedLine(line);
    }
  }

  std::vector<std::unique_ptr<base::AtomicFile>> files;
  for (int band = 1; band <= award::kBandCount; ++band) {
    files.push_back(std::make_unique<base::AtomicFile>(program_folder + award::BandFileName(band)));
    files.back()->Write(award::FormatBandFile(tallies[band - 1]));
  }
  files.push_back(
      std::make_unique<base::AtomicFile>(program_folder + std::string(award::kCountryFileName)));
  files.back()->Write(award::FormatCountryFile(*updated));
  for (const auto& file : files) {
    if (const base::Error failed = file->Commit(base::Rename::kLater); failed) {
      return Failure(failed.message);
    }
  }

  // Every new file is ready: put them all in place as one change.
  std::vector<const base::AtomicFile*> set = {&log};
  for (const auto& file : files) set.push_back(file.get());
  if (const base::Error failed = base::CommitFiles(program_folder, set); failed) {
    return Failure(failed.message);
  }
  countries = *updated;
  return {SyncOutcome::kDone, ""};
}

SyncResult DownloadLogbook(const SyncSettings& settings, const std::string& log_path,
                           award::ConfirmedCountryList& countries) {
  base::RemoveLeftovers(settings.program_folder);  // the new files of an update killed midway
  const std::string temp_path = settings.temp_folder + std::string(kTemporaryFileName);
  const https::FetchResult fetched = FetchLogbook(settings.service, temp_path, settings.progress);
  if (!fetched.ok()) {
    switch (fetched.failure) {
      case https::FetchFailure::kCancelled:
        return Failure(fetched.reason, SyncOutcome::kCancelled);
      case https::FetchFailure::kKeyRefused:
        return Failure(fetched.reason, SyncOutcome::kKeyRefused);
      default:
        return Failure(fetched.reason);
    }
  }
  SyncResult result = ProcessReply(settings.program_folder, temp_path, log_path, countries);
  // The reply has served, whether it was a logbook or not: nothing of it stays on disk.
  std::remove(temp_path.c_str());
  // The service's own REASON text could repeat the key.
  https::ScrubKey(result.reason, settings.service.api_key);
  return result;
}

}  // namespace logbook
