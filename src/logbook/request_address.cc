// The request address and its percent-encoding, shared by every platform's download.
#include <string>
#include <string_view>

#include "logbook/download.h"

namespace logbook {

std::string PercentEncode(std::string_view text) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(3 * text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~';
    if (unreserved) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string MakeRequestAddress(std::string_view endpoint, std::string_view api_key) {
  return std::string(endpoint) + "?KEY=" + PercentEncode(api_key) + "&ACTION=FETCH";
}

}  // namespace logbook
