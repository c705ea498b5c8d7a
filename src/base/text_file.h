// Reading and writing the program's text files. Files are read in two ways: a line reader
// (a line ends at CR, an LF right after it belongs to that line end) and a field reader
// (comma-separated fields: leading blanks skipped, double quotes around a field allowed,
// TAB dropped). In both, byte 26 ends the data. Both stream a file of any size in bounded
// memory. Files that people may edit by hand are read more leniently (see TextRule). Files
// are written with CR LF after every line and no byte order mark.
#ifndef STATEKEEPER_BASE_TEXT_FILE_H_
#define STATEKEEPER_BASE_TEXT_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique_handle.h"

namespace base {

// The numeric value of a count stored as text: leading blanks skipped, then an optional
// sign and decimal digits; reading stops at the first other character. The empty text,
// or one without digits, gives 0. Values beyond the range of int are clamped.
int ParseCount(std::string_view text);

// How lines end in a file that is read.
enum class TextRule {
  // A line ends at CR, an LF right after it belonging to that line end; a lone LF is an
  // ordinary character. The rule of the Local log file, which the program alone writes.
  kCarriageReturn,
  // A line also ends at a lone LF, and a UTF-8 byte order mark at the start of the file is
  // skipped: the rule of the files a person may edit by hand (the Settings file, the Band
  // files, the Country file), so that one saved by a POSIX editor or by Notepad reads
  // like the program's own.
  kHandEdited,
};

// Reads a file line by line. A file that cannot be opened reads as empty. The reader owns
// the open file until it is destroyed.
class LineReader {
 public:
  explicit LineReader(const std::string& path, TextRule rule = TextRule::kCarriageReturn);

  // Puts the next line, without its line end, into `line` and returns true; returns false
  // at the end of the data. The last line may end at the end of the data; an empty file,
  // or data that ends right after a line end, has no further line.
  bool Next(std::string& line);
  // The same, without a copy where it can: `line` stays valid until the next call.
  bool Next(std::string_view& line);

  // Stops at Ctrl-Z; for tests of the byte-26 rule.
  static constexpr char kEndOfData = 26;

 private:
  bool Fill();
  size_t FindLineEnd(const char* start, size_t available) const;
  UniqueFile file_;
  TextRule rule_;
  std::vector<char> buffer_;
  std::string carry_;  // a line that runs across two fills of the buffer
  size_t begin_ = 0;
  size_t end_ = 0;
  bool at_end_ = false;   // the file is exhausted, or Ctrl-Z was met
  bool skip_lf_ = false;  // the last line ended at a CR: an LF right after it goes with it
  bool at_start_ = true;  // nothing has been read yet: a byte order mark may come
};

// Reads comma-separated fields from a Band file, by the hand-edited rule: a record ends
// at CR, CR LF or a lone LF, and a UTF-8 byte order mark at the start is skipped. A file
// that cannot be opened reads as empty.
class FieldReader {
 public:
  explicit FieldReader(const std::string& path);

  // True when no data is left: the end of the file or a Ctrl-Z comes next.
  bool AtEnd();
  // Reads one text field: leading blanks skipped; a field that begins with a double quote
  // runs to the closing quote (LF inside it dropped); otherwise it ends at a comma or a
  // line end (an LF after a CR is consumed with it). TAB inside is dropped. At the end of
  // the data it gives "".
  std::string ReadField();
  // Reads one numeric field: leading blanks skipped; ends at a comma, a blank or a line
  // end; TAB dropped; an empty or non-numeric field gives 0.
  int ReadNumber();

 private:
  int Peek();
  int Get();
  void SkipToDelimiter();
  UniqueFile file_;
  bool at_end_ = false;
};

// The first field of a line that the operator typed, read much as ReadField reads a field:
// leading blanks skipped; a field that opens with a double quote runs to the next one (or
// the end) without the quotes; otherwise it runs up to the first comma, and trailing
// blanks are removed.
std::string FirstField(std::string_view line);

// The lines joined with CR LF after each, as the program writes its text files.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

}  // namespace base

#endif  // STATEKEEPER_BASE_TEXT_FILE_H_
