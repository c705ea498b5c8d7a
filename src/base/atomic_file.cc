// What every platform's AtomicFile shares.
#include "base/atomic_file.h"

namespace base {

Error WriteFileAtomically(const std::string& path, std::string_view content, FileMode mode) {
  AtomicFile file(path, mode);
  file.Write(content);
  return file.Commit();
}

}  // namespace base
