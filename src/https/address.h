// Addresses of the logbook service as text: the scheme an address starts with, the shape an
// endpoint must have before anything is sent to it, the object a request asks for, and the
// address a redirect leads to. Pure text work on narrow strings; taking an address apart
// into host, port and path is left to the HTTPS client, which knows its own rules.
#ifndef STATEKEEPER_HTTPS_ADDRESS_H_
#define STATEKEEPER_HTTPS_ADDRESS_H_

#include <string>
#include <string_view>

namespace https {

// One https address taken apart: what a request connects to and what it asks for.
struct AddressParts {
  std::string host;  // a name or an IP address; an IPv6 address without its brackets
  int port = 443;
  std::string object;  // the path and the query, at least "/"; never a fragment
};

// Returns the scheme of an absolute address in lower case ("https" for "HTTPS://..."), or
// "" when `address` does not start with one: a letter, then letters, digits, "+", "-" or
// ".", then ":".
std::string ReadScheme(std::string_view address);

// What an endpoint is, judged by its start alone.
enum class EndpointShape {
  kHttps,         // "https://..." in any case
  kOtherScheme,   // "scheme://..." with another scheme: to be refused, since the key would
                  // travel in the clear or nowhere useful
  kNotAnAddress,  // empty, or no "scheme://" at its start
};

// Returns the shape of `endpoint`. A scheme followed by anything but "//" ("https:host")
// is kNotAnAddress.
EndpointShape CheckEndpointShape(std::string_view endpoint);

// Returns what a request asks for, from the two parts the client took out of an address:
// `path` ("/" when empty) followed by `query` (with its "?", or ""), cut at a "#", since a
// fragment is never sent.
std::string MakeRequestObject(std::string_view path, std::string_view query);

// Returns the absolute address that a Location header's value names, as seen from the
// address `base` that answered with it: an absolute address as it is, "//host/..." with
// https, "/path", "?query" and a relative path against `base`'s host, port and path.
std::string ResolveLocation(const AddressParts& base, std::string_view location);

}  // namespace https

#endif  // STATEKEEPER_HTTPS_ADDRESS_H_
