// The key decoder on any bytes at any times: no crash, every event well formed, and
// nothing left pending once the terminal has been silent long enough.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "console/keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  console::KeyDecoder decoder;
  std::int64_t now = 0;
  size_t at = 0;
  while (at < size) {
    // A control byte gives the length of the next piece and the time before it.
    const std::uint8_t control = data[at++];
    const size_t length = std::min<size_t>(1 + control % 8, size - at);
    now += control / 8;
    decoder.Feed(std::string_view(reinterpret_cast<const char*>(data) + at, length), now);
    at += length;
    while (const auto event = decoder.Next(now)) {
      if (event->type == console::InputEvent::Type::kKey && event->key.empty()) std::abort();
      if (event->type == console::InputEvent::Type::kMouse &&
          (event->row < 1 || event->column < 1)) {
        std::abort();
      }
    }
  }
  now += 1000;
  while (decoder.Next(now)) {
  }
  if (decoder.Deadline().has_value()) std::abort();
  return 0;
}
