// The Temporary download file, opened so that it can never be used to write anywhere else:
// it is created 0600, never through a symbolic link, and only a regular file of this user
// with no other name is written. The download writes the reply through it piece by piece.
#ifndef STATEKEEPER_LOGBOOK_TEMP_FILE_H_
#define STATEKEEPER_LOGBOOK_TEMP_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.h"
#include "base/unique_handle.h"

namespace logbook {

// One open Temporary download file. Move-only; the destructor closes it (keeping what was
// written) unless Close() or Discard() already did.
class TempFile {
 public:
  // Opens `path` for writing: creates it 0600 or, when it exists, takes it only if it is a
  // regular file owned by this user with no other hard link, tightens it to 0600 and
  // empties it. Anything else at the name (a symbolic link, a FIFO, a folder, another
  // user's file) is left untouched and fails with the reason.
  [[nodiscard]] base::Error Open(const std::string& path);

  // Appends all of `data`. Fails with the reason; after a failure the file is not written
  // again and every later Write and Close fails with the same reason.
  [[nodiscard]] base::Error Write(std::string_view data);

  // Closes the file. Fails with the reason (a failed close may have lost data).
  [[nodiscard]] base::Error Close();

  // Empties the file, closes it and removes it from its folder, so that nothing of what
  // was written can be taken for a download. Does nothing when the file is not open.
  void Discard();

  bool is_open() const { return fd_.valid(); }
  std::int64_t bytes_written() const { return bytes_written_; }

 private:
  // "<what> <path>: <the system's words for code>".
  static base::Error Failure(std::string_view what, const std::string& path,
                             base::OsErrorCode code);

  std::string path_;  // "" until opened, and again after Discard
  base::UniqueFd fd_;
  std::int64_t bytes_written_ = 0;
  base::Error error_;  // the first failed Write
};

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_TEMP_FILE_H_
