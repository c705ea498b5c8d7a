// The line and field readers on Band files and the Country file of any content: no crash,
// no read outside a buffer, and every list within its bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "award/band_files.h"
#include "award/country_file.h"
#include "base/text_file.h"

namespace {

// One folder for the whole run, made at the first input.
const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/statekeeper-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    return std::string(made) + "/";
  }();
  return folder;
}

void Write(const std::string& path, const std::uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string& folder = Folder();
  Write(folder + award::BandFileName(1), data, size);
  Write(folder + std::string(award::kCountryFileName), data, size);

  award::UnconfirmedStateLists lists;
  award::LoadBandFiles(folder, lists);
  const int count = base::ParseCount(lists[0][0]);
  if (count < 0 || count > award::kStateCount) std::abort();

  award::ConfirmedCountryList countries;
  award::LoadCountryFile(folder, countries);
  (void)award::FormatCountryFile(countries);

  base::LineReader lines(folder + std::string(award::kCountryFileName),
                         base::TextRule::kHandEdited);
  size_t total = 0;
  for (std::string line; lines.Next(line);) total += line.size() + 1;
  if (total > size + 1) std::abort();

  base::FieldReader fields(folder + award::BandFileName(1));
  while (!fields.AtEnd()) {
    (void)fields.ReadField();
    (void)fields.ReadNumber();
  }
  return 0;
}
