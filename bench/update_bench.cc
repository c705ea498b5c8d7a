// The whole update of a large logbook from the test logbook service on this machine: one
// request, then the same logbook page by page (the whole request refused at once), taking
// turns for three rounds, each route timed by its best round and set against the pipeline
// alone (everything after the download) on the same reply in the same run. The pages go
// over the one connection that the update keeps (the request log says how many it took),
// and the paged route must cost at most 1.15 times the single request.
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
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "award/lists.h"
#include "logbook/local_log.h"

namespace {

constexpr double kMostPagedToSingle = 1.15;
constexpr int kRounds = 3;

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
  std::string& endpoint = settings.service.endpoint;
  endpoint = "https://127.0.0.1:" + ReadAll(service + "/port");
  while (!endpoint.empty() && endpoint.back() == '\n') endpoint.pop_back();
  endpoint += "/api";
  settings.service.ca_file = service + "/ca.pem";
  settings.service.api_key = "XXXX-YYYY-ZZZZ-AAAA";
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

// The number of requests in the service's request log and of the connections they came on.
std::pair<int, int> CountRequests(const std::string& service) {
  std::istringstream log(ReadAll(service + "/requests.log"));
  std::set<std::string> connections;
  int requests = 0;
  for (std::string line; std::getline(log, line);) {
    ++requests;
    const size_t at = line.find(" connection=");
    if (at != std::string::npos) connections.insert(line.substr(at, line.find(' ', at + 1) - at));
  }
  return {requests, static_cast<int>(connections.size())};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_bench SERVICE_STATE_DIR WORK_DIR\n");
    return 2;
  }
  const std::string service = argv[1];
  const std::string work = std::string(argv[2]) + "/";
  // The service parses its logbook on the first request and keeps it: that first request
  // is not timed, so that both routes meet the same service.
  Run warm_up;
  if (!Update(service, work, "warm-up", "ok", warm_up)) return 1;
  // The routes take turns, and each is timed by its best round: the machine's other work
  // slows single rounds, not the route.
  Run single;
  Run paged;
  double pipeline_single = 0;
  double pipeline_paged = 0;
  std::pair<int, int> paged_requests;
  for (int round = 0; round < kRounds; ++round) {
    const std::string number = std::to_string(round);
    Run one;
    Run pages;
    if (!Update(service, work, "single" + number, "ok", one)) return 1;
    const double pipeline_one = Pipeline(work);
    std::remove((service + "/requests.log").c_str());
    if (!Update(service, work, "paged" + number, "whole_504", pages)) return 1;
    paged_requests = CountRequests(service);
    const double pipeline_pages = Pipeline(work);
    if (pipeline_one <= 0 || pipeline_pages <= 0) return 1;
    if (one.files != warm_up.files || pages.files != warm_up.files) {
      std::fprintf(stderr, "the paged update wrote other files than the single one\n");
      return 1;
    }
    if (round == 0 || one.seconds < single.seconds) single = one;
    if (round == 0 || pages.seconds < paged.seconds) paged = pages;
    if (round == 0 || pipeline_one < pipeline_single) pipeline_single = pipeline_one;
    if (round == 0 || pipeline_pages < pipeline_paged) pipeline_paged = pipeline_pages;
  }
  const double ratio = paged.seconds / single.seconds;
  std::printf("%-22s %9s %12s   (best of %d)\n", "update", "seconds", "x pipeline", kRounds);
  std::printf("%-22s %9.2f %12.1f\n", "pipeline alone", pipeline_single, 1.0);
  std::printf("%-22s %9.2f %12.1f\n", "one request", single.seconds,
              single.seconds / pipeline_single);
  std::printf("%-22s %9.2f %12.1f\n", "page by page", paged.seconds,
              paged.seconds / pipeline_paged);
  std::printf("page by page: %d requests over %d connection(s)\n", paged_requests.first,
              paged_requests.second);
  std::printf("paged / one request: %.2f (at most %.2f)\n", ratio, kMostPagedToSingle);
  return ratio <= kMostPagedToSingle ? 0 : 1;
}
