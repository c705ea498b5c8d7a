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
  for (const char c : event.key) {
    const auto b = static_cast<unsigned char>(c);
    text += std::string(text.empty() ? "" : " ") + kHex[b >> 4] + kHex[b & 15];
  }
  return text;
}

struct Chunk {
  std::int64_t ms;
  std::string bytes;
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

using Events = std::vector<std::string>;

TEST(KeyDecoder, Table) {
  const std::string press = "\x1b[<0;10;5M", release = "\x1b[<0;10;5m";
  const std::string right = "\x1b[<2;10;5M";
  const std::string left_5_10 = "mouse 4 1 5,10", double_5_10 = "mouse 2 1 5,10";
  const struct {
    const char* name;
    std::vector<Chunk> chunks;
    Events expected;
  } cases[] = {
      // Characters and control keys: CR LF as pasted is one Enter, also split between reads.
      {"CR LF, LF alone, BS DEL Ctrl+C Tab, NUL dropped",
       {{0, std::string("w1\r\n\n\x08\x7f\x03\t\0a\r", 12)}, {1, "\nb\r"}, {100, "\n"}},
       {"77", "31", "0d", "0d", "08", "08", "03", "09", "61", "0d", "62", "0d", "0d"}},
      // UTF-8, split over reads; invalid, stray, broken, overlong, surrogate; cut short.
      {"UTF-8",
       {{0, "\xc3\xa9\xf0\x9f\x98\x80\377a\200b\303c\340\200\200c\355\240\200d\xe2\x82"},
        {3, "\xac\xc3"}},
       {"c3 a9", "f0 9f 98 80", "61", "62", "63", "63", "64", "e2 82 ac"}},
      // Escape and Alt: Alt+x in one read or within the timeout, Esc then x at 25 ms.
      {"Alt+x, Esc x",
       {{0, "\x1bx"}, {5, "\x1b"}, {15, "x"}, {20, "\x1b"}, {45, "x"}},
       {"00 2d", "00 2d", "1b", "78"}},
      {"Alt+Shift+Q, Alt+M, Alt+O after silence",
       {{0, "\x1bQ\x1bm\x1bO"}},
       {"00 10", "00 32", "00 18"}},
      {"Esc Esc, Esc digit, ESC [ that stops",
       {{0, "\033\033\0331\x1b["}},
       {"1b", "1b", "1b", "31", "1b", "5b"}},
      // Cursor, editing and function keys; the wait is for silence after the last read.
      {"arrows CSI and SS3, Home End Insert Delete PgUp PgDn",
       {{0, "\x1b[A\x1b[B\x1b[C\x1b[D\x1bOA\x1b[1~\x1b[4~\x1b[F\x1bOH\x1b[2~\x1b[3~\x1b[5~\x1b[6~"},
        {20, "\x1b["},
        {40, "1"},
        {60, "~"}},
       {"00 48", "00 50", "00 4d", "00 4b", "00 48", "00 47", "00 4f", "00 4f", "00 47", "00 52",
        "00 53", "00 49", "00 51", "00 47"}},
      {"function keys and modifiers",
       {{0,
         "\x1bOQ\x1bOR\x1bOS\x1b[12~\x1b[[A\x1b[[E\x1b[15~\x1b[17~\x1b[23~\x1b[1;5A\x1b[5;5~"
         "\x1b[1;2P\x1b[24;5~"}},
       {"00 3c", "00 3d", "00 3e", "00 3c", "00 3b", "00 3f", "00 3f", "00 40", "00 85", "00 48",
        "00 49", "00 3b", "00 86"}},
      // Sequences that give nothing: unknown tilde numbers, private reply, paste markers, back
      // tab, number before a letter, intermediate; broken off, runaway, unfinished.
      {"nothing",
       {{0,
         "\x1b[99~a\x1b[25~b\x1b[?1;2cc\x1b[200~x\x1b[201~\x1b[Z\x1b[2A\x1b[1 q\x1bOz\x1b[[Z"
         "\x1b[1\r\x1b[" +
             std::string(100, '1') + "~z\x1b[1;5"}},
       {"61", "62", "63", "78", "0d", "7a"}},
      // X10 mouse: ESC [ M, button + 32, column + 32, row + 32. A release names the pressed
      // button, and with none pressed is nothing.
      {"X10",
       {{0, "\x1b[M#*%\x1b[M\"*%"},
        {10, "\x1b[M#*%\x1b[M \xff\x40"},
        {11, "\x1b[M"},
        {12, " *"},
        {13, "%\x1b[M *"}},
       {"mouse 4 2 5,10", "mouse 8 2 5,10", "mouse 4 1 32,223", left_5_10}},
      // SGR mouse.
      {"SGR right press, drag, move without button, wheels, modifier bits, missing or zero numbers",
       {{0,
         "\x1b[<2;3;4M\x1b[<32;7;8M\x1b[<35;7;8M\x1b[<64;1;1M\x1b[<65;1;1Mq\x1b[<16;300;200M"
         "\x1b[<0;10Mz\x1b[<0;0;5M"}},
       {"mouse 4 2 4,3", "mouse 1 1 8,7", "71", "mouse 4 1 200,300", "7a"}},
      // Double-clicks: the left button, the same cell, within 500 ms; a third press starts over.
      {"second press within 500 ms, releases between; not 600 ms later",
       {{0, press}, {80, release}, {500, press}, {600, press}, {1200, press}},
       {left_5_10, "mouse 8 1 5,10", double_5_10, left_5_10, left_5_10}},
  };
  for (const auto& c : cases) EXPECT_EQ(Decode(c.chunks), c.expected) << c.name;
  EXPECT_EQ(Decode({{0, "\xe9\xc3"}}, InputEncoding::kSingleByte), (Events{"e9", "c3"}));
}

}  // namespace
}  // namespace console
