// Turns the bytes a terminal sends into the console's input events: Key strings as the
// Windows console gives them (one character, or NUL and a PC scan code) and mouse events.
// Pure: no I/O, time comes from the caller, so every rule can be tested without a
// terminal.
#ifndef STATEKEEPER_CONSOLE_KEYS_H_
#define STATEKEEPER_CONSOLE_KEYS_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "console/backend.h"

namespace console {

// Whether bytes 128 and above are parts of UTF-8 characters or characters of their own.
enum class InputEncoding { kUtf8, kSingleByte };

class KeyDecoder {
 public:
  // A lone ESC (or the start of a sequence that stops) is resolved after this much silence.
  static constexpr std::int64_t kEscapeTimeoutMs = 25;
  // A second left press on the same cell within this time is a double-click.
  static constexpr std::int64_t kDoubleClickMs = 500;

  explicit KeyDecoder(InputEncoding encoding = InputEncoding::kUtf8) : encoding_(encoding) {}

  // Takes bytes that arrived at `now_ms`. Anything still pending from earlier that has
  // timed out by then is resolved first, so "ESC" then "x" 50 ms later is Esc and x.
  // CR, LF and CR directly followed by LF are one Enter each; the LF of a CR LF may also
  // come in the next bytes, if they arrive within the Esc time-out.
  void Feed(std::string_view bytes, std::int64_t now_ms);

  // The next decoded event, in arrival order; nothing when none is complete at `now_ms`.
  [[nodiscard]] std::optional<InputEvent> Next(std::int64_t now_ms);

  // When pending bytes must be resolved if nothing more arrives (call Next then); nothing
  // when no bytes are pending.
  [[nodiscard]] std::optional<std::int64_t> Deadline() const;

 private:
  // One decoded item at the start of the pending bytes: its length, and its event unless
  // the bytes are swallowed.
  struct Parsed {
    std::size_t length = 0;
    std::optional<InputEvent> event;
    // An escape sequence too long to keep: the rest of it is dropped as it arrives.
    bool runaway = false;
  };

  // Decodes everything decodable at `now_ms` into ready_.
  void Drain(std::int64_t now_ms);
  // Nothing when the bytes at the start of `bytes` are an incomplete item.
  std::optional<Parsed> ParseOne(std::string_view bytes) const;
  // Resolves an incomplete item that timed out.
  static Parsed ParseTimedOut(std::string_view bytes);
  std::optional<Parsed> ParseEscape(std::string_view bytes) const;
  std::optional<Parsed> ParseCsi(std::string_view bytes) const;
  std::optional<Parsed> ParseX10Mouse(std::string_view bytes) const;
  std::optional<Parsed> ParseUtf8(std::string_view bytes) const;
  // Applies the double-click rule and queues a mouse event.
  void QueueMouse(InputEvent event, std::int64_t now_ms);

  InputEncoding encoding_;
  std::string pending_;
  std::int64_t last_feed_ms_ = 0;
  // The last bytes fed ended in a CR: an LF at the start of the next ones goes with it.
  bool last_feed_ended_in_cr_ = false;
  std::deque<InputEvent> ready_;
  // The button of the last X10 press, for X10 releases that do not name one.
  int x10_pressed_button_ = 0;
  // Dropping the rest of a runaway escape sequence, up to and including its final byte.
  bool dropping_sequence_ = false;
  // The last left press that may still become a double-click.
  bool left_press_armed_ = false;
  std::int64_t left_press_ms_ = 0;
  int left_press_row_ = 0;
  int left_press_column_ = 0;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_KEYS_H_
