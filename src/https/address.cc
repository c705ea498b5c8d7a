#include "https/address.h"

namespace https {

std::string ReadScheme(std::string_view address) {
  const size_t colon = address.find(':');
  if (colon == 0 || colon == std::string_view::npos) return "";
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) {
    char c = address[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!letter && (i == 0 || !other)) return "";
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    scheme += c;
  }
  return scheme;
}

EndpointShape CheckEndpointShape(std::string_view endpoint) {
  const std::string scheme = ReadScheme(endpoint);
  if (scheme.empty() || endpoint.find("://") != scheme.size()) {
    return EndpointShape::kNotAnAddress;
  }
  return scheme == "https" ? EndpointShape::kHttps : EndpointShape::kOtherScheme;
}

std::string MakeRequestObject(std::string_view path, std::string_view query) {
  std::string object(path.empty() ? "/" : path);
  object += query;
  if (const size_t hash = object.find('#'); hash != std::string::npos) object.erase(hash);
  return object;
}

std::string ResolveLocation(const AddressParts& base, std::string_view location) {
  if (!ReadScheme(location).empty()) return std::string(location);
  // Appended piece by piece: GCC 12 warns wrongly of overlapping copies in "text" + string
  // (GCC bug 105329).
  std::string address = "https:";
  if (location.starts_with("//")) return address.append(location);
  address += "//";
  const bool ipv6 = base.host.find(':') != std::string::npos;
  if (ipv6) address += '[';
  address += base.host;
  if (ipv6) address += ']';
  address += ':';
  address += std::to_string(base.port);
  if (!location.starts_with("/")) {
    const std::string_view path = std::string_view(base.object).substr(0, base.object.find('?'));
    address += location.starts_with("?") ? path : path.substr(0, path.rfind('/') + 1);
  }
  return address.append(location);
}

}  // namespace https
