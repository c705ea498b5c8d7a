// What the Temporary download file does alike on every platform: owning its descriptor.
#include "logbook/temp_file.h"

#include <utility>

namespace logbook {

TempFile::~TempFile() {
  if (fd_ >= 0) CloseDescriptor(fd_);
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)),
      bytes_written_(other.bytes_written_),
      error_(std::move(other.error_)) {
  other.path_.clear();
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseDescriptor(fd_);
    path_ = std::move(other.path_);
    other.path_.clear();
    fd_ = std::exchange(other.fd_, -1);
    bytes_written_ = other.bytes_written_;
    error_ = std::move(other.error_);
  }
  return *this;
}

}  // namespace logbook
