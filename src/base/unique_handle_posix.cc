#include <unistd.h>

#include "base/unique_handle.h"

namespace base {

// Not retried on EINTR: on Linux the descriptor is released even then, and a second close
// could close a descriptor that another thread has opened since.
bool FileDescriptorTraits::Close(int fd) { return ::close(fd) == 0; }

}  // namespace base
