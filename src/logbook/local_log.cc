#include "logbook/local_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "award/band_files.h"
#include "award/country_file.h"
#include "base/atomic_file.h"
#include "base/text_file.h"
#include "logbook/confirmed_countries.h"
#include "logbook/confirmed_states.h"
#include "logbook/download.h"
#include "logbook/normalise.h"

namespace logbook {
namespace {

constexpr size_t kChunkSize = 1 << 17;  // the chunk and its text stay in the cache
// The first pass looks only for the start of the data, which stands within the first bytes.
constexpr size_t kFirstChunkSize = 1 << 12;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

SyncResult Failure(std::string reason, bool key_refused = false) {
  return {false, std::move(reason), key_refused};
}

// The service's own failure answers (RESULT=FAIL, RESULT=AUTH) in the text in front of
// the data, with the REASON= value up to the next "&".
bool ServiceRefused(const std::string& front, SyncResult& result) {
  const bool auth = front.find("RESULT=AUTH") != std::string::npos;
  if (!auth && front.find("RESULT=FAIL") == std::string::npos) return false;
  std::string reason = "the logbook service refused the request";
  if (const size_t at = front.find("REASON="); at != std::string::npos) {
    const size_t start = at + 7;
    const size_t stop = front.find('&', start);
    const std::string value = front.substr(start, stop == std::string::npos ? stop : stop - start);
    if (!value.empty()) reason = "the logbook service said: " + value;
  }
  result = Failure(reason, auth);
  return true;
}

// Reads the reply in chunks of `chunk_size` through the normaliser; `sink(text)` gets the
// normalised text piece by piece and returns false to stop early.
template <typename Sink>
bool NormaliseFile(const std::string& reply_path, size_t chunk_size, Sink sink,
                   std::string& error) {
  File file(std::fopen(reply_path.c_str(), "rb"));
  if (!file) {
    error = "cannot read " + reply_path + ": " + std::strerror(errno);
    return false;
  }
  const std::unique_ptr<char[]> chunk(new char[chunk_size]);  // no need to clear it first
  std::string text;
  Normaliser normaliser;
  for (;;) {
    const size_t got = std::fread(chunk.get(), 1, chunk_size, file.get());
    text.clear();
    if (got > 0) normaliser.Feed(std::string_view(chunk.get(), got), text);
    if (got < chunk_size) {
      if (std::ferror(file.get())) {
        error = "cannot read " + reply_path + ": " + std::strerror(errno);
        return false;
      }
      normaliser.Finish(text);
      sink(text);
      return true;
    }
    if (!sink(text)) return true;
  }
}

}  // namespace

SyncResult ProcessReply(const std::string& program_folder, const std::string& reply_path,
                        const std::string& log_path, award::ConfirmedCountryList& countries) {
  std::string error;
  // First find where the data begins and what the service said in front of it. The "=<"
  // stands within the first bytes of a logbook, so this pass ends almost at once.
  DataStartFinder finder;
  if (!NormaliseFile(
          reply_path, kFirstChunkSize, [&](std::string_view text) { return !finder.Look(text); },
          error)) {
    return Failure(error);
  }
  SyncResult result;
  if (ServiceRefused(finder.front(), result)) return result;

  // The Local log file: the normalised text without what stands in front of the data.
  base::AtomicFile log(log_path, base::FileMode::kShared);
  std::uint64_t to_drop = finder.drop();
  if (!NormaliseFile(
          reply_path, kChunkSize,
          [&](std::string_view text) {
            const size_t dropped =
                static_cast<size_t>(std::min<std::uint64_t>(to_drop, text.size()));
            to_drop -= dropped;
            log.Write(text.substr(dropped));
            return true;
          },
          error)) {
    return Failure(error);
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

  // Every new file is ready: put them all in place, then flush the folder once.
  base::Error failed = log.Publish(base::FolderSync::kByCaller);
  for (const auto& file : files) {
    if (!failed) failed = file->Publish(base::FolderSync::kByCaller);
  }
  base::SyncFolder(program_folder);
  if (failed) return Failure(failed.message);
  countries = *updated;
  return {true, "", false};
}

SyncResult DownloadLogbook(const SyncSettings& settings, const std::string& log_path,
                           award::ConfirmedCountryList& countries) {
  FetchRequest request;
  request.endpoint = settings.endpoint;
  request.ca_file = settings.ca_file;
  request.api_key = settings.api_key;
  request.temp_path = settings.temp_folder + std::string(kTemporaryFileName);
  request.cancelled = settings.cancelled;
  const FetchResult fetched = FetchLogbook(request);
  if (!fetched.ok) return Failure(fetched.reason);
  // The Temporary download file stays; the next download rewrites it.
  return ProcessReply(settings.program_folder, request.temp_path, log_path, countries);
}

}  // namespace logbook
