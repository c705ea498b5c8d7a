// The reply normalisation and both extractions against their literal references, on any
// bytes: the streaming code must give exactly what the whole-text steps give, whatever
// the chunk boundaries, and must never read outside its buffers.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "award/band_files.h"
#include "logbook/confirmed_countries.h"
#include "logbook/confirmed_states.h"
#include "logbook/normalise.h"
#include "reference_pipeline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the chunk size, so that boundaries fall everywhere.
  const size_t chunk = 1 + data[0] % 17;
  const std::string_view reply(reinterpret_cast<const char*>(data) + 1, size - 1);

  logbook::Normaliser normaliser;
  std::string text;
  for (size_t at = 0; at < reply.size(); at += chunk) {
    normaliser.Feed(reply.substr(at, chunk), text);
  }
  normaliser.Finish(text);
  logbook::DataStartFinder finder;
  for (size_t at = 0; at < text.size() && !finder.Look(std::string_view(text).substr(at, chunk));
       at += chunk) {
  }
  const std::string log = text.substr(finder.drop()) + "\r\n";
  if (log != reference::NormaliseReply(std::string(reply)) + "\r\n") std::abort();

  // Both extractions, line by line as the program reads the Local log file.
  award::BandTallies tallies{};
  award::ConfirmedCountryList countries;
  logbook::CountryCollector collector(countries);
  for (const std::string& line : reference::SplitLines(log)) {
    if (logbook::CountConfirmedState(line, tallies)) collector.AddConfirmedLine(line);
  }
  const auto bands = reference::BandFiles(log);
  for (int band = 0; band < award::kBandCount; ++band) {
    if (award::FormatBandFile(tallies[band]) != bands[band]) std::abort();
  }
  award::ConfirmedCountryList expected;
  reference::AddCountries(log, expected);
  if (countries != expected) std::abort();
  return 0;
}
