// Addresses as text: schemes, the shape of an endpoint, the object a request asks for, and
// where a redirect leads from a given address.
#include "https/address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace https {
namespace {

TEST(Address, SchemeAndShapeOfAnEndpoint) {
  using S = EndpointShape;
  struct Row {
    std::string address;
    std::string scheme;
    EndpointShape shape;
  };
  const std::vector<Row> rows = {
      {"HTTPS://127.0.0.1:4711/api", "https", S::kHttps},
      {"https://", "https", S::kHttps},  // the client finds no host in it
      {"HtTp://127.0.0.1:1/api", "http", S::kOtherScheme},
      {"svn+ssh://host/x", "svn+ssh", S::kOtherScheme},
      {"a1.b-c:rest", "a1.b-c", S::kNotAnAddress},
      {"https:127.0.0.1/api", "https", S::kNotAnAddress},
      {"https:/127.0.0.1/api", "https", S::kNotAnAddress},
      {"", "", S::kNotAnAddress},
      {":no-scheme", "", S::kNotAnAddress},
      {"1http://host/", "", S::kNotAnAddress},
      {"+x://host/", "", S::kNotAnAddress},
      {"ht tp://host/", "", S::kNotAnAddress},
      {"h\xC3\xA9://host/", "", S::kNotAnAddress},
      {"logbook.qrz.com/api?x=https://y", "", S::kNotAnAddress},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ReadScheme(row.address), row.scheme) << row.address;
    EXPECT_EQ(CheckEndpointShape(row.address), row.shape) << row.address;
  }
}

TEST(Address, RequestObjectIsPathAndQueryWithoutTheFragment) {
  EXPECT_EQ(MakeRequestObject("/api", "?a=b"), "/api?a=b");
  EXPECT_EQ(MakeRequestObject("", ""), "/");
  EXPECT_EQ(MakeRequestObject("/api", "?a=b#part"), "/api?a=b");
  EXPECT_EQ(MakeRequestObject("/api#part", ""), "/api");
}

TEST(Address, EveryFormOfLocationFromOneBase) {
  const AddressParts base{"logbook.example", 8443, "/v1/api?KEY=K"};
  const std::string here = "https://logbook.example:8443";
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"HTTP://other.example/x", "HTTP://other.example/x"},  // refused by the caller
      {"//other.example:9/x?y", "https://other.example:9/x?y"},
      {"/redirected?KEY=K", here + "/redirected?KEY=K"},
      {"?KEY=K&X=1", here + "/v1/api?KEY=K&X=1"},
      {"next?a=b", here + "/v1/next?a=b"},
      {"", here + "/v1/"},
  };
  for (const auto& [location, address] : rows) {
    EXPECT_EQ(ResolveLocation(base, location), address) << location;
  }
  EXPECT_EQ(ResolveLocation({"::1", 443, "/"}, "page"), "https://[::1]:443/page");
}

}  // namespace
}  // namespace https
