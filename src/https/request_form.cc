// The request's form body, its percent-encoding and the scrubbing of the key from texts,
// shared by every platform's download.
#include <string>
#include <string_view>

#include "https/download.h"

namespace https {
namespace {

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

}  // namespace

std::string MakeRequestBody(std::string_view api_key, std::string_view option) {
  std::string body = "KEY=" + PercentEncode(api_key) + "&ACTION=FETCH";
  if (!option.empty()) body.append("&OPTION=").append(option);
  return body;
}

void ScrubKey(std::string& text, std::string_view api_key) {
  for (const std::string& secret : {std::string(api_key), PercentEncode(api_key)}) {
    if (secret.empty()) continue;
    for (size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3)) {
      text.replace(at, secret.size(), "***");
    }
  }
}

}  // namespace https
