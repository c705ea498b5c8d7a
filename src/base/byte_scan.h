// Finding the next of a few given bytes in a text, eight bytes at a time: the logbook runs
// to hundreds of megabytes, and its hot loops look for "<", "&" and line ends.
#ifndef STATEKEEPER_BASE_BYTE_SCAN_H_
#define STATEKEEPER_BASE_BYTE_SCAN_H_

#include <cstdint>
#include <cstring>

namespace base {
namespace byte_scan_internal {

constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;

// Non-zero when one of the eight bytes of `word` is zero (never wrongly zero).
constexpr std::uint64_t HasZeroByte(std::uint64_t word) { return (word - kOnes) & ~word & kHighs; }

template <char... kBytes>
constexpr bool IsOneOf(char c) {
  return ((c == kBytes) || ...);
}

}  // namespace byte_scan_internal

// The first byte in [p, end) that is one of kBytes, or `end`.
template <char... kBytes>
const char* FindFirstOf(const char* p, const char* end) {
  using byte_scan_internal::HasZeroByte;
  using byte_scan_internal::IsOneOf;
  using byte_scan_internal::kOnes;
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if ((HasZeroByte(word ^ (kOnes * static_cast<unsigned char>(kBytes))) | ...) != 0) break;
    p += 8;
  }
  while (p < end && !IsOneOf<kBytes...>(*p)) ++p;
  return p;
}

}  // namespace base

#endif  // STATEKEEPER_BASE_BYTE_SCAN_H_
