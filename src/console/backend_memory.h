// A backend that lives in memory, for tests: input comes from a script of events, time is
// a counter that only moves when a wait needs it to, and what was presented stays readable.
#ifndef STATEKEEPER_CONSOLE_BACKEND_MEMORY_H_
#define STATEKEEPER_CONSOLE_BACKEND_MEMORY_H_

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "console/backend.h"

namespace console {

class MemoryBackend : public Backend {
 public:
  explicit MemoryBackend(Size terminal_size = {43, 66});

  // Script: events are delivered in order, each at once. When the script is empty a wait
  // with a deadline advances the clock to the deadline and returns nothing; a wait without
  // one means the test forgot an event, and the process stops with a message.
  void AddKey(std::string_view key);
  // Each byte of `text` as a one-character key.
  void AddText(std::string_view text);
  void AddExtendedKey(unsigned char scan_code);
  void AddMouse(int kind, int button, int row, int column);
  // Lets `ms` milliseconds pass before the next scripted event is delivered.
  void AddPause(std::int64_t ms);
  bool script_empty() const { return script_.empty(); }

  // What the last Present showed.
  const Grid& presented() const { return presented_; }
  // The cursor that the last Present showed: its column from 1, and whether shown.
  int presented_cursor_column() const { return presented_cursor_column_; }
  bool presented_cursor_visible() const { return presented_cursor_visible_; }
  const std::string& title() const { return title_; }
  Size requested_size() const { return requested_size_; }
  bool mouse_reporting() const { return mouse_reporting_; }

  Size TerminalSize() override { return terminal_size_; }
  void Present(const Grid& grid, int cursor_row, int cursor_column, bool cursor_visible) override;
  std::optional<InputEvent> ReadEvent(std::optional<std::int64_t> deadline_ms) override;
  std::int64_t NowMs() override { return now_ms_; }
  void SetTitle(std::string_view title) override { title_ = title; }
  void RequestSize(Size size) override { requested_size_ = size; }
  void SetMouseReporting(bool on) override { mouse_reporting_ = on; }

 private:
  struct Step {
    std::int64_t pause_ms = 0;  // > 0: a pause, not an event
    InputEvent event;
  };

  Size terminal_size_;
  std::deque<Step> script_;
  std::int64_t now_ms_ = 0;
  Grid presented_;
  int presented_cursor_column_ = 0;
  bool presented_cursor_visible_ = false;
  std::string title_;
  Size requested_size_;
  bool mouse_reporting_ = false;
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_BACKEND_MEMORY_H_
