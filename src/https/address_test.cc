// Addresses as text: schemes, the shape of an endpoint, the object a request asks for, and
// where a redirect leads from a given address.
#include "https/address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace https {
namespace {

TEST(ReadScheme, LowerCasesAValidSchemeAndRefusesTheRest) {
  struct Row {
    std::string address;
    std::string scheme;
  };
  const std::vector<Row> rows = {
      {"https://logbook.qrz.com/api", "https"},
      {"HTTPS://logbook.qrz.com/api", "https"},
      {"HtTp://127.0.0.1:1/api", "http"},
      {"ftp://127.0.0.1/api", "ftp"},
      {"svn+ssh://host/x", "svn+ssh"},
      {"a1.b-c:rest", "a1.b-c"},
      {"https:127.0.0.1/api", "https"},
      {"", ""},
      {"no address at all", ""},
      {":no-scheme", ""},
      {"1http://host/", ""},
      {"+x://host/", ""},
      {"ht tp://host/", ""},
      {"/relative/path:with-colon", ""},
      {"?a=b:c", ""},
      {"h\xC3\xA9://host/", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(ReadScheme(row.address), row.scheme) << row.address;
}

TEST(CheckEndpointShape, OnlyHttpsWithTwoSlashesPasses) {
  struct Row {
    std::string endpoint;
    EndpointShape shape;
  };
  const std::vector<Row> rows = {
      {"https://logbook.qrz.com/api", EndpointShape::kHttps},
      {"HTTPS://127.0.0.1:4711/api", EndpointShape::kHttps},
      {"https://", EndpointShape::kHttps},  // the client finds no host in it
      {"http://127.0.0.1:1/api", EndpointShape::kOtherScheme},
      {"HTTP://127.0.0.1:1/api", EndpointShape::kOtherScheme},
      {"ftp://127.0.0.1/api", EndpointShape::kOtherScheme},
      {"", EndpointShape::kNotAnAddress},
      {"no address at all", EndpointShape::kNotAnAddress},
      {"https:127.0.0.1/api", EndpointShape::kNotAnAddress},
      {"https:/127.0.0.1/api", EndpointShape::kNotAnAddress},
      {"logbook.qrz.com/api?x=https://y", EndpointShape::kNotAnAddress},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CheckEndpointShape(row.endpoint), row.shape) << row.endpoint;
  }
}

TEST(MakeRequestObject, PathAndQueryWithoutTheFragment) {
  struct Row {
    std::string path;
    std::string query;
    std::string object;
  };
  const std::vector<Row> rows = {
      {"/api", "?KEY=K&ACTION=FETCH", "/api?KEY=K&ACTION=FETCH"},
      {"/api", "", "/api"},
      {"", "", "/"},
      {"", "?a=b", "/?a=b"},
      {"/api", "?a=b#part", "/api?a=b"},
      {"/api#part", "", "/api"},
      {"", "#part", "/"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(MakeRequestObject(row.path, row.query), row.object) << row.path << row.query;
  }
}

TEST(ResolveLocation, EveryFormOfLocationFromOneBase) {
  const AddressParts base{"logbook.example", 8443, "/v1/api?KEY=K&ACTION=FETCH"};
  struct Row {
    std::string location;
    std::string address;
  };
  const std::vector<Row> rows = {
      {"https://other.example/x", "https://other.example/x"},
      {"HTTP://other.example/x", "HTTP://other.example/x"},  // refused by the caller
      {"//other.example:9/x?y", "https://other.example:9/x?y"},
      {"/redirected?KEY=K", "https://logbook.example:8443/redirected?KEY=K"},
      {"?KEY=K&ACTION=FETCH&X=1", "https://logbook.example:8443/v1/api?KEY=K&ACTION=FETCH&X=1"},
      {"next?a=b", "https://logbook.example:8443/v1/next?a=b"},
      {"", "https://logbook.example:8443/v1/"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ResolveLocation(base, row.location), row.address) << row.location;
  }
}

TEST(ResolveLocation, BracketsAnIpv6HostAndKeepsTheRootPath) {
  EXPECT_EQ(ResolveLocation({"::1", 443, "/api"}, "/x"), "https://[::1]:443/x");
  EXPECT_EQ(ResolveLocation({"127.0.0.1", 4711, "/"}, "page"), "https://127.0.0.1:4711/page");
}

}  // namespace
}  // namespace https
