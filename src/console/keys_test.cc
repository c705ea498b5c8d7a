#include "console/keys.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace console {
namespace {

// "00 48" for a key, "mouse K B R,C" for a mouse event: easy to read in a failure.
std::string Describe(const InputEvent& event) {
  if (event.type == InputEvent::Type::kMouse) {
    return "mouse " + std::to_string(event.mouse_kind) + " " + std::to_string(event.mouse_button) +
           " " + std::to_string(event.row) + "," + std::to_string(event.column);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (char c : event.key) {
    const auto b = static_cast<unsigned char>(c);
    if (!text.empty()) text += ' ';
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

struct Chunk {
  std::int64_t ms;
  std::string bytes;
};

struct Case {
  const char* name;
  std::vector<Chunk> chunks;
  std::vector<std::string> expected;
};

// Feeds each chunk at its time, collecting events as they come, then lets a long silence
// resolve whatever is still pending.
std::vector<std::string> Decode(const std::vector<Chunk>& chunks,
                                InputEncoding encoding = InputEncoding::kUtf8) {
  KeyDecoder decoder(encoding);
  std::vector<std::string> events;
  std::int64_t now = 0;
  for (const Chunk& chunk : chunks) {
    now = chunk.ms;
    decoder.Feed(chunk.bytes, now);
    while (auto event = decoder.Next(now)) events.push_back(Describe(*event));
  }
  now += 1000;
  while (auto event = decoder.Next(now)) events.push_back(Describe(*event));
  EXPECT_FALSE(decoder.Deadline().has_value());
  return events;
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.chunks), c.expected) << c.name;
  }
}

TEST(KeyDecoderTest, CharactersAndControlKeys) {
  RunCases({
      {"CR is Enter", {{0, "\r"}}, {"0d"}},
      {"LF is Enter", {{0, "\n"}}, {"0d"}},
      {"pasted CR LF is one Enter",
       {{0, "w1aw\r\nKEY\r\n"}},
       {"77", "31", "61", "77", "0d", "4b", "45", "59", "0d"}},
      {"CR LF split between reads", {{0, "a\r"}, {1, "\nb"}}, {"61", "0d", "62"}},
      {"LF long after a CR", {{0, "\r"}, {100, "\n"}}, {"0d", "0d"}},
      {"LF CR is two", {{0, "\n\r"}}, {"0d", "0d"}},
      {"CR CR LF LF", {{0, "\r\r\n\n"}}, {"0d", "0d", "0d"}},
      {"BS is Backspace", {{0, "\x08"}}, {"08"}},
      {"DEL is Backspace", {{0, "\x7f"}}, {"08"}},
      {"Ctrl+C", {{0, "\x03"}}, {"03"}},
      {"Tab", {{0, "\t"}}, {"09"}},
      {"NUL is dropped", {{0, std::string("\0a", 2)}}, {"61"}},
      {"letters in order", {{0, "aZ1"}}, {"61", "5a", "31"}},
  });
}

TEST(KeyDecoderTest, Utf8Characters) {
  RunCases({
      {"two bytes", {{0, "\xc3\xa9"}}, {"c3 a9"}},
      {"three bytes", {{0, "\xe2\x82\xac"}}, {"e2 82 ac"}},
      {"four bytes", {{0, "\xf0\x9f\x98\x80"}}, {"f0 9f 98 80"}},
      {"split over reads", {{0, "\xe2\x82"}, {3, "\xac"}}, {"e2 82 ac"}},
      {"invalid byte dropped",
       {{0,
         "\xff"
         "a"}},
       {"61"}},
      {"stray continuation dropped",
       {{0,
         "\x80"
         "b"}},
       {"62"}},
      {"broken sequence dropped",
       {{0,
         "\xc3"
         "a"}},
       {"61"}},
      {"overlong form dropped",
       {{0,
         "\xe0\x80\x80"
         "c"}},
       {"63"}},
      {"surrogate dropped",
       {{0,
         "\xed\xa0\x80"
         "d"}},
       {"64"}},
      {"cut short and never finished", {{0, "\xc3"}}, {}},
  });
}

TEST(KeyDecoderTest, SingleByteEncodingKeepsHighBytes) {
  EXPECT_EQ(Decode({{0, "\xe9\xc3"}}, InputEncoding::kSingleByte),
            (std::vector<std::string>{"e9", "c3"}));
}

TEST(KeyDecoderTest, EscapeAndAlt) {
  RunCases({
      {"lone Esc after silence", {{0, "\x1b"}}, {"1b"}},
      {"Alt+x in one read", {{0, "\x1bx"}}, {"00 2d"}},
      {"Alt+x across reads within the timeout", {{0, "\x1b"}, {10, "x"}}, {"00 2d"}},
      {"Esc then x 50 ms later", {{0, "\x1b"}, {50, "x"}}, {"1b", "78"}},
      {"Esc then x at exactly 25 ms", {{0, "\x1b"}, {25, "x"}}, {"1b", "78"}},
      {"Alt+Q", {{0, "\x1bq"}}, {"00 10"}},
      {"Alt+P", {{0, "\x1bp"}}, {"00 19"}},
      {"Alt+A",
       {{0,
         "\x1b"
         "a"}},
       {"00 1e"}},
      {"Alt+L", {{0, "\x1bl"}}, {"00 26"}},
      {"Alt+Z", {{0, "\x1bz"}}, {"00 2c"}},
      {"Alt+M", {{0, "\x1bm"}}, {"00 32"}},
      {"Alt+Shift+Q", {{0, "\x1bQ"}}, {"00 10"}},
      {"Alt+O after silence", {{0, "\x1bO"}}, {"00 18"}},
      {"Esc Esc", {{0, "\x1b\x1b"}}, {"1b", "1b"}},
      {"Esc then a digit",
       {{0,
         "\x1b"
         "1"}},
       {"1b", "31"}},
      {"ESC [ that stops is Esc and [", {{0, "\x1b["}}, {"1b", "5b"}},
  });
}

TEST(KeyDecoderTest, LoneEscapeWaitsForSilence) {
  KeyDecoder decoder;
  EXPECT_FALSE(decoder.Deadline().has_value());
  decoder.Feed("\x1b", 100);
  ASSERT_TRUE(decoder.Deadline().has_value());
  EXPECT_EQ(*decoder.Deadline(), 100 + KeyDecoder::kEscapeTimeoutMs);
  EXPECT_FALSE(decoder.Next(100).has_value());
  EXPECT_FALSE(decoder.Next(124).has_value());
  const auto event = decoder.Next(125);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->key, "\x1b");
  EXPECT_FALSE(decoder.Deadline().has_value());
  EXPECT_FALSE(decoder.Next(1000).has_value());
}

TEST(KeyDecoderTest, CursorAndEditingKeys) {
  RunCases({
      {"Up CSI", {{0, "\x1b[A"}}, {"00 48"}},
      {"Down CSI", {{0, "\x1b[B"}}, {"00 50"}},
      {"Right CSI", {{0, "\x1b[C"}}, {"00 4d"}},
      {"Left CSI", {{0, "\x1b[D"}}, {"00 4b"}},
      {"Up SS3", {{0, "\x1bOA"}}, {"00 48"}},
      {"Down SS3", {{0, "\x1bOB"}}, {"00 50"}},
      {"Right SS3", {{0, "\x1bOC"}}, {"00 4d"}},
      {"Left SS3", {{0, "\x1bOD"}}, {"00 4b"}},
      {"Home 1~", {{0, "\x1b[1~"}}, {"00 47"}},
      {"Home 7~", {{0, "\x1b[7~"}}, {"00 47"}},
      {"Home H", {{0, "\x1b[H"}}, {"00 47"}},
      {"Home OH", {{0, "\x1bOH"}}, {"00 47"}},
      {"End 4~", {{0, "\x1b[4~"}}, {"00 4f"}},
      {"End 8~", {{0, "\x1b[8~"}}, {"00 4f"}},
      {"End F", {{0, "\x1b[F"}}, {"00 4f"}},
      {"End OF", {{0, "\x1bOF"}}, {"00 4f"}},
      {"Insert", {{0, "\x1b[2~"}}, {"00 52"}},
      {"Delete", {{0, "\x1b[3~"}}, {"00 53"}},
      {"PgUp", {{0, "\x1b[5~"}}, {"00 49"}},
      {"PgDn", {{0, "\x1b[6~"}}, {"00 51"}},
      {"split over reads", {{0, "\x1b"}, {2, "["}, {4, "6"}, {6, "~"}}, {"00 51"}},
      {"several in one read", {{0, "\x1b[A\x1bOBx"}}, {"00 48", "00 50", "78"}},
  });
}

TEST(KeyDecoderTest, FunctionKeys) {
  RunCases({
      {"F1 SS3", {{0, "\x1bOP"}}, {"00 3b"}},   {"F2 SS3", {{0, "\x1bOQ"}}, {"00 3c"}},
      {"F3 SS3", {{0, "\x1bOR"}}, {"00 3d"}},   {"F4 SS3", {{0, "\x1bOS"}}, {"00 3e"}},
      {"F1 11~", {{0, "\x1b[11~"}}, {"00 3b"}}, {"F2 12~", {{0, "\x1b[12~"}}, {"00 3c"}},
      {"F3 13~", {{0, "\x1b[13~"}}, {"00 3d"}}, {"F4 14~", {{0, "\x1b[14~"}}, {"00 3e"}},
      {"F1 [[A", {{0, "\x1b[[A"}}, {"00 3b"}},  {"F4 [[D", {{0, "\x1b[[D"}}, {"00 3e"}},
      {"F5 [[E", {{0, "\x1b[[E"}}, {"00 3f"}},  {"F5", {{0, "\x1b[15~"}}, {"00 3f"}},
      {"F6", {{0, "\x1b[17~"}}, {"00 40"}},     {"F7", {{0, "\x1b[18~"}}, {"00 41"}},
      {"F8", {{0, "\x1b[19~"}}, {"00 42"}},     {"F9", {{0, "\x1b[20~"}}, {"00 43"}},
      {"F10", {{0, "\x1b[21~"}}, {"00 44"}},    {"F11", {{0, "\x1b[23~"}}, {"00 85"}},
      {"F12", {{0, "\x1b[24~"}}, {"00 86"}},
  });
}

TEST(KeyDecoderTest, ModifiersAndUnknownSequences) {
  RunCases({
      {"Ctrl+Up", {{0, "\x1b[1;5A"}}, {"00 48"}},
      {"Shift+End", {{0, "\x1b[1;2F"}}, {"00 4f"}},
      {"Ctrl+PgUp", {{0, "\x1b[5;5~"}}, {"00 49"}},
      {"Shift+F1", {{0, "\x1b[1;2P"}}, {"00 3b"}},
      {"Ctrl+F12", {{0, "\x1b[24;5~"}}, {"00 86"}},
      {"unknown tilde number", {{0, "\x1b[99~a"}}, {"61"}},
      {"F13 and above", {{0, "\x1b[25~b"}}, {"62"}},
      {"private reply", {{0, "\x1b[?1;2c"}, {1, "c"}}, {"63"}},
      {"bracketed paste marker", {{0, "\x1b[200~x\x1b[201~"}}, {"78"}},
      {"back tab", {{0, "\x1b[Z"}}, {}},
      {"letter final with a leading number", {{0, "\x1b[2A"}}, {}},
      {"intermediate byte", {{0, "\x1b[1 q"}}, {}},
      {"unknown SS3", {{0, "\x1bOz"}}, {}},
      {"[[ with an unknown letter", {{0, "\x1b[[Z"}}, {}},
      {"unfinished sequence timed out", {{0, "\x1b[1;5"}}, {}},
      {"broken off by a control byte", {{0, "\x1b[1\r"}}, {"0d"}},
      {"runaway sequence", {{0, "\x1b[" + std::string(100, '1') + "~z"}}, {"7a"}},
  });
}

TEST(KeyDecoderTest, X10Mouse) {
  // ESC [ M, button + 32, column + 32, row + 32.
  RunCases({
      {"left press", {{0, "\x1b[M *%"}}, {"mouse 4 1 5,10"}},
      {"middle press", {{0, "\x1b[M!*%"}}, {"mouse 4 4 5,10"}},
      {"right press", {{0, "\x1b[M\"*%"}}, {"mouse 4 2 5,10"}},
      {"release names the pressed button",
       {{0, "\x1b[M\"*%"}, {10, "\x1b[M#*%"}},
       {"mouse 4 2 5,10", "mouse 8 2 5,10"}},
      {"release with nothing pressed", {{0, "\x1b[M#*%"}}, {}},
      {"drag", {{0, "\x1b[M@+%"}}, {"mouse 1 1 5,11"}},
      {"wheel up ignored", {{0, "\x1b[M`*%a"}}, {"61"}},
      {"wheel down ignored", {{0, "\x1b[Ma*%"}}, {}},
      {"top left cell", {{0, "\x1b[M !!"}}, {"mouse 4 1 1,1"}},
      {"large coordinate", {{0, "\x1b[M \xff\x40"}}, {"mouse 4 1 32,223"}},
      {"split over reads", {{0, "\x1b[M"}, {1, " *"}, {2, "%"}}, {"mouse 4 1 5,10"}},
      {"cut short", {{0, "\x1b[M *"}}, {}},
  });
}

TEST(KeyDecoderTest, SgrMouse) {
  RunCases({
      {"left press", {{0, "\x1b[<0;10;5M"}}, {"mouse 4 1 5,10"}},
      {"left release", {{0, "\x1b[<0;10;5m"}}, {"mouse 8 1 5,10"}},
      {"middle press", {{0, "\x1b[<1;3;4M"}}, {"mouse 4 4 4,3"}},
      {"right press", {{0, "\x1b[<2;3;4M"}}, {"mouse 4 2 4,3"}},
      {"drag with left", {{0, "\x1b[<32;7;8M"}}, {"mouse 1 1 8,7"}},
      {"move with no button", {{0, "\x1b[<35;7;8M"}}, {}},
      {"wheel up ignored", {{0, "\x1b[<64;1;1M"}}, {}},
      {"wheel down ignored", {{0, "\x1b[<65;1;1Mq"}}, {"71"}},
      {"modifier bits kept off the button", {{0, "\x1b[<16;2;2M"}}, {"mouse 4 1 2,2"}},
      {"large coordinates", {{0, "\x1b[<0;300;200M"}}, {"mouse 4 1 200,300"}},
      {"missing number swallowed", {{0, "\x1b[<0;10Mz"}}, {"7a"}},
      {"zero coordinate swallowed", {{0, "\x1b[<0;0;5M"}}, {}},
      {"split over reads", {{0, "\x1b[<0;1"}, {1, "0;5"}, {2, "M"}}, {"mouse 4 1 5,10"}},
  });
}

TEST(KeyDecoderTest, DoubleClick) {
  const std::string press = "\x1b[<0;10;5M";
  const std::string release = "\x1b[<0;10;5m";
  const std::string press_elsewhere = "\x1b[<0;11;5M";
  const std::string right_press = "\x1b[<2;10;5M";
  RunCases({
      {"second press within 500 ms",
       {{0, press}, {200, press}},
       {"mouse 4 1 5,10", "mouse 2 1 5,10"}},
      {"releases in between",
       {{0, press}, {80, release}, {200, press}},
       {"mouse 4 1 5,10", "mouse 8 1 5,10", "mouse 2 1 5,10"}},
      {"at exactly 500 ms", {{0, press}, {500, press}}, {"mouse 4 1 5,10", "mouse 2 1 5,10"}},
      {"600 ms later is a new press",
       {{0, press}, {600, press}},
       {"mouse 4 1 5,10", "mouse 4 1 5,10"}},
      {"a third press starts over",
       {{0, press}, {100, press}, {200, press}, {300, press}},
       {"mouse 4 1 5,10", "mouse 2 1 5,10", "mouse 4 1 5,10", "mouse 2 1 5,10"}},
      {"another cell", {{0, press}, {100, press_elsewhere}}, {"mouse 4 1 5,10", "mouse 4 1 5,11"}},
      {"right button never doubles",
       {{0, right_press}, {100, right_press}},
       {"mouse 4 2 5,10", "mouse 4 2 5,10"}},
      {"X10 double-click",
       {{0, "\x1b[M *%"}, {300, "\x1b[M *%"}},
       {"mouse 4 1 5,10", "mouse 2 1 5,10"}},
  });
}

TEST(KeyDecoderTest, DeadlineFollowsTheLastRead) {
  KeyDecoder decoder;
  decoder.Feed("\x1b[", 0);
  decoder.Feed("1", 20);
  EXPECT_EQ(decoder.Deadline(), std::optional<std::int64_t>(20 + KeyDecoder::kEscapeTimeoutMs));
  EXPECT_FALSE(decoder.Next(30).has_value());
  decoder.Feed("~", 40);
  const auto event = decoder.Next(40);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(Describe(*event), "00 47");
  EXPECT_FALSE(decoder.Deadline().has_value());
}

}  // namespace
}  // namespace console
