#include <io.h>

#include "base/unique_handle.h"

namespace base {

// Closes the descriptor and the Win32 handle under it.
bool FileDescriptorTraits::Close(int fd) { return ::_close(fd) == 0; }

}  // namespace base
