#include "app/program_folder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace app {
namespace {

constexpr std::string_view kLogExtension = ".adi";
constexpr size_t kMaxLogFileName = 200;
// The longest UTF-8 character; a cut moves back at most this far less one byte.
constexpr size_t kMaxCharacterBytes = 4;

bool ForbiddenInFileName(unsigned char c) {
  return c < 0x20 || c == 0x7F ||
         std::string_view("/\\:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDeviceName(std::string_view name) {
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  std::string upper;
  for (const char c : name) upper += UpperAscii(c);
  for (const std::string_view device : kDevices) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

std::string LocalLogFileName(std::string_view account_name) {
  std::string name;
  name.reserve(account_name.size() + 1);
  for (const char c : account_name) {
    name += ForbiddenInFileName(static_cast<unsigned char>(c)) ? '_' : c;
  }
  const size_t device_end = std::min(name.find('.'), name.size());
  if (IsDeviceName(std::string_view(name).substr(0, device_end))) {
    // Built by appending: GCC 12's optimiser takes an insert for an overlapping copy
    // (bug 105329).
    std::string marked = name.substr(0, device_end);
    marked += '_';
    marked.append(name, device_end);
    name = std::move(marked);
  }
  const size_t limit = kMaxLogFileName - kLogExtension.size();
  if (name.size() > limit) {
    size_t cut = limit;
    // Back to the first byte of the character the limit falls in.
    while (cut > limit - (kMaxCharacterBytes - 1) && IsContinuationByte(name[cut])) --cut;
    name.resize(cut);
  }
  name += kLogExtension;
  return name;
}

std::optional<std::string> NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace app
