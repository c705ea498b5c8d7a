// Plain, literal versions of the reply normalisation and of both extractions, written for
// clarity and not for speed: the oracle of the fuzz targets pipeline_fuzz and reply_fuzz,
// which compare the program's streaming code against them on any bytes, and the yardstick
// of bench/pipeline_bench. The unit tests pin the same rules by tables instead.
#ifndef STATEKEEPER_FUZZ_REFERENCE_PIPELINE_H_
#define STATEKEEPER_FUZZ_REFERENCE_PIPELINE_H_

#include <array>
#include <string>
#include <vector>

#include "award/lists.h"

namespace reference {

// Normalisation steps 1 to 3, one after the other, each over the whole text: every LF
// deleted, every "&lt;" replaced by "<", then every "&gt;" by ">".
std::string DecodeReply(std::string text);

// Step 4: a CR put after every "<eor>".
std::string MarkRecordEnds(const std::string& text);

// The five normalisation steps: step 5 drops everything up to and including the "=" of
// the first "=<".
std::string NormaliseReply(std::string text);

// The lines of a text as the Local log file is read: a line ends at CR, an LF right after
// the CR belongs to that line end, byte 26 ends the data, and the last line may end at the
// end of the data.
std::vector<std::string> SplitLines(const std::string& text);

// The contents of the nine Band files, in Band list order, for a Local log file's text.
std::array<std::string, award::kBandCount> BandFiles(const std::string& log_text);

// Adds the countries of the confirmed records of a Local log file's text to `list`.
void AddCountries(const std::string& log_text, award::ConfirmedCountryList& list);

}  // namespace reference

#endif  // STATEKEEPER_FUZZ_REFERENCE_PIPELINE_H_
