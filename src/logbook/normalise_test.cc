// The streaming reply normalisation against the literal five steps, on random texts fed in
// random chunk sizes, plus the cases that compose steps in ways that are easy to get wrong.
#include "logbook/normalise.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "reference_pipeline.h"

namespace logbook {
namespace {

struct Streamed {
  std::string text;   // the normalised text, what is dropped already removed
  std::string front;  // the finder's front text
  bool found = false;
};

// Feeds `reply` to the normaliser in the given chunk sizes (cycled), and the normalised
// text to the finder in other chunk sizes, the way the program streams a file.
Streamed Stream(const std::string& reply, const std::vector<size_t>& feed_sizes,
                const std::vector<size_t>& look_sizes) {
  Normaliser normaliser;
  std::string text;
  size_t at = 0;
  for (size_t i = 0; at < reply.size(); ++i) {
    const size_t size = feed_sizes[i % feed_sizes.size()];
    normaliser.Feed(std::string_view(reply).substr(at, size), text);
    at += size;
  }
  normaliser.Finish(text);
  DataStartFinder finder;
  at = 0;
  for (size_t i = 0; at < text.size() && !finder.found(); ++i) {
    const size_t size = look_sizes[i % look_sizes.size()];
    finder.Look(std::string_view(text).substr(at, size));
    at += size;
  }
  return {text.substr(finder.drop()), finder.front(), finder.found()};
}

// Steps 1 to 4 of the reference, spelled out on the whole text.
std::string ReferenceSteps1To4(const std::string& reply) {
  auto replace_all = [](const std::string& in, const std::string& from, const std::string& to) {
    std::string out;
    size_t start = 0;
    for (size_t found; (found = in.find(from, start)) != std::string::npos;) {
      out += in.substr(start, found - start) + to;
      start = found + from.size();
    }
    return out + in.substr(start);
  };
  std::string step = replace_all(reply, "\n", "");
  step = replace_all(step, "&lt;", "<");
  step = replace_all(step, "&gt;", ">");
  return replace_all(step, "<eor>", "<eor>\r");
}

TEST(NormaliseDifferential, RandomTextsInRandomChunks) {
  const std::string alphabet = "&ltg;<>eor=\n\rx";
  std::mt19937 random(20211110);
  for (int round = 0; round < 3000; ++round) {
    const size_t length = random() % 200;
    std::string reply;
    for (size_t i = 0; i < length; ++i) reply += alphabet[random() % alphabet.size()];
    std::vector<size_t> feed_sizes, look_sizes;
    for (int i = 0; i < 5; ++i) {
      feed_sizes.push_back(1 + random() % 7);
      look_sizes.push_back(1 + random() % 7);
    }
    const Streamed streamed = Stream(reply, feed_sizes, look_sizes);
    const std::string expected = reference::NormaliseReply(reply);
    ASSERT_EQ(streamed.text, expected) << "reply: " << ::testing::PrintToString(reply);
    const std::string steps = ReferenceSteps1To4(reply);
    const size_t data = steps.find("=<");
    ASSERT_EQ(streamed.found, data != std::string::npos) << ::testing::PrintToString(reply);
    ASSERT_EQ(streamed.front, steps.substr(0, data)) << ::testing::PrintToString(reply);
  }
}

// Texts made of the pieces that the whole-entity and whole-record-end shortcuts look at,
// next to the pieces that must stop them, in chunks from one byte to the whole text.
TEST(NormaliseDifferential, EntityAndRecordEndPiecesInAnyChunks) {
  const std::vector<std::string> pieces = {
      "&lt;eor&gt;", "&lt;",       "&gt;",         "eor", "e", "o", "r",     "<",
      ">",           "&",          "\n",           "\r",  "x", "=", "&lt;e", "&l",
      "t;",          "&lt;eor&gt", "&lt;\neor&gt;"};
  std::mt19937 random(73);
  for (int round = 0; round < 3000; ++round) {
    std::string reply;
    const int count = static_cast<int>(random() % 24);
    for (int i = 0; i < count; ++i) reply += pieces[random() % pieces.size()];
    const std::vector<size_t> sizes = {1 + random() % 16, 1 + random() % 4, reply.size() + 1};
    const std::vector<size_t> feed_sizes = {sizes[random() % sizes.size()],
                                            sizes[random() % sizes.size()]};
    const Streamed streamed = Stream(reply, feed_sizes, {1 + random() % 16});
    ASSERT_EQ(streamed.text, reference::NormaliseReply(reply))
        << "reply: " << ::testing::PrintToString(reply);
  }
}

TEST(NormaliseDifferential, GeneratedRepliesInRandomChunks) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string reply = "RESULT=OK&COUNT=3&ADIF=";
    const int records = static_cast<int>(random() % 6);
    for (int r = 0; r < records; ++r) {
      reply += "&lt;call:5&gt;W1AW";
      if (random() % 2) reply += "\n";
      reply += "&lt;app_qrzlog_status:1&gt;C&lt;band:3&gt;20m&lt;eor&gt;";
      if (random() % 3 == 0) reply += "\r\n";
    }
    if (random() % 2) reply += "&amp;lt;&lt&gt";
    std::vector<size_t> feed_sizes = {1 + random() % 64, 1 + random() % 3};
    std::vector<size_t> look_sizes = {1 + random() % 64, 1};
    const Streamed streamed = Stream(reply, feed_sizes, look_sizes);
    ASSERT_EQ(streamed.text, reference::NormaliseReply(reply)) << reply;
    // Without a record there is no "=<": the whole text is the front.
    EXPECT_EQ(streamed.front, records > 0 ? "RESULT=OK&COUNT=3&ADIF" : streamed.text) << reply;
    EXPECT_EQ(streamed.found, records > 0) << reply;
  }
}

struct Case {
  const char* name;
  std::string reply;
  std::string expected;
};

TEST(NormaliseCases, StepsCompose) {
  const std::vector<Case> cases = {
      {"empty", "", ""},
      {"LF joins an entity", "&l\nt;", "<"},
      {"LF joins a record end", "<eo\nr>", "<eor>\r"},
      {"escaped ampersand stays", "&amp;lt;", "&amp;lt;"},
      {"entity record end", "&lt;eor&gt;", "<eor>\r"},
      {"capital record end", "<EOR>", "<EOR>"},
      {"begins with =<", "=<a>", "<a>"},
      {"only the first =< splits", "x=<a>=<b>", "<a>=<b>"},
      {"entity makes =<", "KEY=&lt;call", "<call"},
      {"no =< keeps all", "RESULT=OK&COUNT=0", "RESULT=OK&COUNT=0"},
      {"CR stays", "a\r\nb", "a\rb"},
      {"cut-off entity at the end", "x&lt", "x&lt"},
      {"double ampersand", "&&lt;", "&<"},
      {"entity then record end twice", "<eor><eor>", "<eor>\r<eor>\r"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormaliseReply(c.reply), c.expected) << c.name;
    EXPECT_EQ(reference::NormaliseReply(c.reply), c.expected) << c.name;
    EXPECT_EQ(Stream(c.reply, {1}, {1}).text, c.expected) << c.name;
  }
}

TEST(NormaliseCases, FrontIsBoundedAndComplete) {
  const std::string front(DataStartFinder::kFrontLimit + 100, 'x');
  const Streamed streamed = Stream(front + "=<a>", {4096}, {1000});
  EXPECT_TRUE(streamed.found);
  EXPECT_EQ(streamed.text, "<a>");
  EXPECT_EQ(streamed.front.size(), DataStartFinder::kFrontLimit);

  const Streamed short_front = Stream("RESULT=FAIL&REASON=bad&x=<a>", {3}, {2});
  EXPECT_EQ(short_front.front, "RESULT=FAIL&REASON=bad&x");
}

}  // namespace
}  // namespace logbook
