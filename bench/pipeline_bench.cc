// Everything after the download, on generated logbooks of 10,000, 100,000 and 500,000
// records: the reply file is turned into the Local log, Band and Country files. Each size
// runs in a fresh child process, so that its peak memory is its own; the literal reference
// runs in another child on the same reply. Prints MB/s, peak memory and time per record.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "award/lists.h"
#include "logbook/local_log.h"
#include "reference_pipeline.h"

namespace {

const char* const kStates[] = {"ny", "CA", "tx", "DC", "OH", "ME", "wa", "ON"};
const char* const kCountries[] = {"United States", "Alaska", "Hawaii", "Japan",
                                  "Germany",       "Canada", "Italy",  "Brazil"};
const char* const kBands[] = {"10m", "20m", "40m", "80m", "160m", "15m", "6m", "17m"};

// A reply as the service sends it: its own text, then the records with < and > escaped,
// broken into lines of LF.
std::string GenerateReply(int records) {
  std::string reply = "RESULT=OK&COUNT=" + std::to_string(records) + "&ADIF=";
  unsigned seed = 12345;
  for (int i = 0; i < records; ++i) {
    seed = seed * 1103515245 + 12345;
    const unsigned r = seed >> 8;
    const std::string country = kCountries[r % 8];
    const std::string band = kBands[(r >> 3) % 8];
    reply += "&lt;call:5&gt;W" + std::to_string(i % 10) + "ABC&lt;qso_date:8&gt;20211110";
    reply += "&lt;time_on:4&gt;1234&lt;mode:3&gt;SSB&lt;freq:6&gt;14.200\n";
    reply += "&lt;country:" + std::to_string(country.size()) + "&gt;" + country;
    reply += "&lt;state:2&gt;" + std::string(kStates[(r >> 6) % 8]);
    reply += "&lt;band:" + std::to_string(band.size()) + "&gt;" + band;
    reply += "&lt;app_qrzlog_status:1&gt;" + std::string((r >> 9) % 3 ? "C" : "N");
    reply += "&lt;comment:20&gt;an ordinary comment.&lt;eor&gt;\n";
  }
  return reply;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Runs `work` in a child; returns its time in seconds and its peak memory in KiB.
template <typename Work>
bool InChild(Work work, double& seconds, long& peak_kib) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return false;
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    const double taken = work();
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    const long peak = usage.ru_maxrss;
    if (write(pipe_fds[1], &taken, sizeof taken) != sizeof taken) _exit(1);
    if (write(pipe_fds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
    _exit(taken < 0 ? 1 : 0);
  }
  close(pipe_fds[1]);
  bool ok = read(pipe_fds[0], &seconds, sizeof seconds) == sizeof seconds &&
            read(pipe_fds[0], &peak_kib, sizeof peak_kib) == sizeof peak_kib;
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp/statekeeper-bench/";
  std::printf("%9s %10s %9s %10s %11s %12s %9s\n", "records", "reply MB", "MB/s", "peak MiB",
              "ns/record", "reference s", "speed-up");
  for (const int records : {10000, 100000, 500000}) {
    const std::string reply_path = folder + "QRZ_LogBook.tmp";
    double bytes = 0;
    {
      const std::string reply = GenerateReply(records);
      bytes = static_cast<double>(reply.size());
      std::ofstream(reply_path, std::ios::binary) << reply;
    }
    double seconds = 0;
    long peak = 0;
    const bool ok = InChild(
        [&] {
          award::ConfirmedCountryList countries{};
          const auto start = std::chrono::steady_clock::now();
          const logbook::SyncResult result =
              logbook::ProcessReply(folder, reply_path, folder + "BENCH.adi", countries);
          return result.ok() ? Seconds(start) : -1.0;
        },
        seconds, peak);
    double reference_seconds = 0;
    long reference_peak = 0;
    const bool reference_ok = InChild(
        [&] {
          const auto start = std::chrono::steady_clock::now();
          std::stringstream content;
          content << std::ifstream(reply_path, std::ios::binary).rdbuf();
          const std::string log = reference::NormaliseReply(content.str()) + "\r\n";
          std::ofstream(folder + "REFERENCE.adi", std::ios::binary) << log;
          const auto bands = reference::BandFiles(log);
          award::ConfirmedCountryList countries{};
          reference::AddCountries(log, countries);
          return bands[0].empty() ? -1.0 : Seconds(start);
        },
        reference_seconds, reference_peak);
    if (!ok || !reference_ok) {
      std::fprintf(stderr, "run failed for %d records\n", records);
      return 1;
    }
    std::printf("%9d %10.1f %9.0f %10.1f %11.0f %12.3f %8.1fx\n", records, bytes / 1e6,
                bytes / 1e6 / seconds, peak / 1024.0, seconds * 1e9 / records, reference_seconds,
                reference_seconds / seconds);
  }
  return 0;
}
