// What every platform's AtomicFile shares.
#include "base/atomic_file.h"

#include <cstdio>

namespace base {
namespace {

constexpr std::string_view kTemporaryPrefix = ".statekeeper-";
constexpr std::string_view kNewFileSuffix = ".partial";
constexpr std::string_view kOldFileSuffix = ".old";
constexpr size_t kUniqueDigits = 8;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLowerHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }

}  // namespace

std::string TemporaryName(std::string_view target_name, std::uint32_t process_id,
                          std::uint32_t unique) {
  char middle[32];
  std::snprintf(middle, sizeof middle, "%lu-%08lx-", static_cast<unsigned long>(process_id),
                static_cast<unsigned long>(unique));
  std::string name(kTemporaryPrefix);
  name += middle;
  name += target_name;
  name += kNewFileSuffix;
  return name;
}

std::optional<std::uint32_t> TemporaryNameOwner(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix)) return {};
  if (name.ends_with(kNewFileSuffix)) {
    name.remove_suffix(kNewFileSuffix.size());
  } else if (name.ends_with(kOldFileSuffix)) {
    name.remove_suffix(kOldFileSuffix.size());
  } else {
    return {};
  }
  name.remove_prefix(kTemporaryPrefix.size());
  // The process id: 1 to 10 digits, no leading zero, at most 2^32 - 1.
  size_t digits = 0;
  std::uint64_t process_id = 0;
  while (digits < name.size() && IsDigit(name[digits]) && digits < 10) {
    process_id = process_id * 10 + static_cast<std::uint64_t>(name[digits] - '0');
    ++digits;
  }
  if (digits == 0 || name[0] == '0' || process_id > UINT32_MAX) return {};
  name.remove_prefix(digits);
  // "-", the unique part, "-", and a target name of at least one character.
  if (name.size() < kUniqueDigits + 3 || name[0] != '-' || name[kUniqueDigits + 1] != '-') {
    return {};
  }
  for (size_t i = 1; i <= kUniqueDigits; ++i) {
    if (!IsLowerHexDigit(name[i])) return {};
  }
  return static_cast<std::uint32_t>(process_id);
}

Error WriteFileAtomically(const std::string& path, std::string_view content, FileMode mode) {
  AtomicFile file(path, mode);
  file.Write(content);
  return file.Commit();
}

}  // namespace base
