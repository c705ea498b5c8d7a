// The whole update of a large logbook from the test logbook service on this machine: one
// request, then the same logbook page by page (the whole request refused at once), each
// against the pipeline alone (everything after the download) on the same reply in the same
// run. The paged route must cost at most 1.5 times the single request.
//
//   update_bench SERVICE_STATE_DIR WORK_DIR
//
// The service (tools/fake_logbook.py) must be running on SERVICE_STATE_DIR with its
// logbook.adi in place; its mode file is rewritten here.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "award/lists.h"
#include "logbook/local_log.h"

namespace {

constexpr double kMostPagedToSingle = 1.5;

std::string ReadAll(const std::string& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

struct Run {
  double seconds = 0;
  std::map<std::string, std::string> files;
};

// One update into a fresh Program folder `name` under `work`; false when it failed.
bool Update(const std::string& service, const std::string& work, const std::string& name,
            const std::string& mode, Run& run) {
  std::ofstream(service + "/mode") << mode;
  const std::string folder = work + name + "/";
  ::mkdir(folder.c_str(), 0700);
  logbook::SyncSettings settings;
  settings.program_folder = folder;
  settings.temp_folder = work;
  settings.endpoint = "https://127.0.0.1:" + ReadAll(service + "/port");
  while (!settings.endpoint.empty() && settings.endpoint.back() == '\n')
    settings.endpoint.pop_back();
  settings.endpoint += "/api";
  settings.ca_file = service + "/ca.pem";
  settings.api_key = "XXXX-YYYY-ZZZZ-AAAA";
  award::ConfirmedCountryList countries{};
  const auto start = std::chrono::steady_clock::now();
  const logbook::SyncResult result =
      logbook::DownloadLogbook(settings, folder + "BENCH.adi", countries);
  run.seconds = Seconds(start);
  if (!result.ok()) {
    std::fprintf(stderr, "%s update failed: %s\n", name.c_str(), result.reason.c_str());
    return false;
  }
  for (const char* file : {"BENCH.adi", "10m.txt", "160m.txt", "dx.txt"}) {
    run.files[file] = ReadAll(folder + file);
  }
  return true;
}

// The pipeline alone on the reply the last update left in the Temporary download file.
double Pipeline(const std::string& work) {
  const std::string folder = work + "pipeline/";
  ::mkdir(folder.c_str(), 0700);
  award::ConfirmedCountryList countries{};
  const auto start = std::chrono::steady_clock::now();
  const logbook::SyncResult result = logbook::ProcessReply(
      folder, work + std::string(logbook::kTemporaryFileName), folder + "BENCH.adi", countries);
  return result.ok() ? Seconds(start) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_bench SERVICE_STATE_DIR WORK_DIR\n");
    return 2;
  }
  const std::string service = argv[1];
  const std::string work = std::string(argv[2]) + "/";
  Run single;
  Run paged;
  // The service parses its logbook on the first request and keeps it: that first request
  // is not timed, so that both routes meet the same service.
  Run warm_up;
  if (!Update(service, work, "warm-up", "ok", warm_up)) return 1;
  if (!Update(service, work, "single", "ok", single)) return 1;
  const double pipeline_single = Pipeline(work);
  if (!Update(service, work, "paged", "whole_504", paged)) return 1;
  const double pipeline_paged = Pipeline(work);
  if (pipeline_single <= 0 || pipeline_paged <= 0) return 1;
  if (single.files != paged.files) {
    std::fprintf(stderr, "the paged update wrote other files than the single one\n");
    return 1;
  }
  const double ratio = paged.seconds / single.seconds;
  std::printf("%-22s %9s %12s\n", "update", "seconds", "x pipeline");
  std::printf("%-22s %9.2f %12.1f\n", "pipeline alone", pipeline_single, 1.0);
  std::printf("%-22s %9.2f %12.1f\n", "one request", single.seconds,
              single.seconds / pipeline_single);
  std::printf("%-22s %9.2f %12.1f\n", "page by page", paged.seconds,
              paged.seconds / pipeline_paged);
  std::printf("paged / one request: %.2f (at most %.1f)\n", ratio, kMostPagedToSingle);
  return ratio <= kMostPagedToSingle ? 0 : 1;
}
