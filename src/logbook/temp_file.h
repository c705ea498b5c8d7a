// The Temporary download file, opened so that it can never be used to write anywhere else:
// it is created 0600, never through a symbolic link, and only a regular file of this user
// with no other name is written. The download writes the reply through it piece by piece.
#ifndef STATEKEEPER_LOGBOOK_TEMP_FILE_H_
#define STATEKEEPER_LOGBOOK_TEMP_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace logbook {

// One open Temporary download file. Move-only; the destructor closes it (keeping what was
// written) unless Close() or Discard() already did.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Opens `path` for writing: creates it 0600 or, when it exists, takes it only if it is a
  // regular file owned by this user with no other hard link, tightens it to 0600 and
  // empties it. Anything else at the name (a symbolic link, a FIFO, a folder, another
  // user's file) is left untouched and fails. Returns "" or the reason.
  [[nodiscard]] std::string Open(const std::string& path);

  // Appends all of `data`. Returns "" or the reason; after a failure the file is not
  // written again.
  [[nodiscard]] std::string Write(std::string_view data);

  // Closes the file. Returns "" or the reason (a failed close may have lost data).
  [[nodiscard]] std::string Close();

  // Empties the file, closes it and removes it from its folder, so that nothing of what
  // was written can be taken for a download. Does nothing when the file is not open.
  void Discard();

  bool is_open() const { return fd_ >= 0; }
  std::int64_t bytes_written() const { return bytes_written_; }

 private:
  // Closes a descriptor of this platform's C runtime, ignoring what it returns.
  static void CloseDescriptor(int fd);

  std::string path_;
  int fd_ = -1;
  std::int64_t bytes_written_ = 0;
  std::string error_;
};

}  // namespace logbook

#endif  // STATEKEEPER_LOGBOOK_TEMP_FILE_H_
