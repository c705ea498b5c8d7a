// The streaming normalisation and decoding against the literal steps, on texts made of the
// pieces that the steps and their shortcuts look at, fed in chunks from one byte to the
// whole text.
#include "logbook/normalise.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference_pipeline.h"

namespace logbook {
namespace {

// Feeds `reply` through a Normaliser of `steps` in chunks of `feed` bytes, and its text to
// a DataStartFinder in chunks of `look` bytes, the way the program streams a file.
std::string Stream(const std::string& reply, Steps steps, size_t feed, size_t look,
                   DataStartFinder& finder) {
  Normaliser normaliser(steps);
  std::string text;
  for (size_t at = 0; at < reply.size(); at += feed) normaliser.Feed(reply.substr(at, feed), text);
  normaliser.Finish(text);
  for (size_t at = 0; at < text.size() && !finder.Look(text.substr(at, look)); at += look) {
  }
  return text;
}

TEST(Normalise, EveryChunkingGivesTheLiteralSteps) {
  const std::vector<std::string> pieces = {
      "&lt;eor&gt;", "&lt;", "&gt;", "&lt;e", "&lt;x", "&l", "t;", "&lt;eor&gt", "&lt;\neor&gt;",
      "eor",         "<",    ">",    "&",     "\n",    "\r", "x",  "=",          "RESULT=OK&"};
  std::mt19937 random(73);
  for (int round = 0; round < 4000; ++round) {
    std::string reply;
    for (int i = static_cast<int>(random() % 30); i > 0; --i) reply += pieces[random() % 18];
    const size_t sizes[] = {1 + random() % 16, 1 + random() % 4, reply.size() + 1};
    const size_t feed = sizes[random() % 3];
    DataStartFinder finder;
    const std::string text = Stream(reply, Steps::kAll, feed, 1 + random() % 16, finder);
    const std::string marked = reference::MarkRecordEnds(reference::DecodeReply(reply));
    ASSERT_EQ(text.substr(finder.drop()), reference::NormaliseReply(reply)) << reply;
    ASSERT_EQ(finder.found(), marked.find("=<") != std::string::npos) << reply;
    ASSERT_EQ(finder.front(), marked.substr(0, marked.find("=<"))) << reply;
    DataStartFinder unused;
    ASSERT_EQ(Stream(reply, Steps::kDecode, feed, 1, unused), reference::DecodeReply(reply))
        << reply;
    ASSERT_EQ(DecodeReply(reply), reference::DecodeReply(reply)) << reply;
  }
}

TEST(Normalise, TheFrontKeptIsBounded) {
  DataStartFinder finder;
  const std::string reply = std::string(DataStartFinder::kFrontLimit + 100, 'x') + "=<a>";
  EXPECT_EQ(Stream(reply, Steps::kAll, 4096, 1000, finder).substr(finder.drop()), "<a>");
  EXPECT_EQ(finder.front(), std::string(DataStartFinder::kFrontLimit, 'x'));
}

}  // namespace
}  // namespace logbook
