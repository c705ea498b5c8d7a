#include "console/backend_memory.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace console {

MemoryBackend::MemoryBackend(Size terminal_size) : terminal_size_(terminal_size) {}

void MemoryBackend::AddKey(std::string_view key) {
  Step step;
  step.event.type = InputEvent::Type::kKey;
  step.event.key = std::string(key);
  script_.push_back(std::move(step));
}

void MemoryBackend::AddText(std::string_view text) {
  for (const char byte : text) AddKey(std::string_view(&byte, 1));
}

void MemoryBackend::AddExtendedKey(unsigned char scan_code) {
  const char key[2] = {'\0', static_cast<char>(scan_code)};
  AddKey(std::string_view(key, 2));
}

void MemoryBackend::AddMouse(int kind, int button, int row, int column) {
  Step step;
  step.event.type = InputEvent::Type::kMouse;
  step.event.mouse_kind = kind;
  step.event.mouse_button = button;
  step.event.row = row;
  step.event.column = column;
  script_.push_back(std::move(step));
}

void MemoryBackend::AddPause(std::int64_t ms) {
  if (ms <= 0) return;
  Step step;
  step.pause_ms = ms;
  script_.push_back(std::move(step));
}

void MemoryBackend::Present(const Grid& grid, int /*cursor_row*/, int cursor_column,
                            bool cursor_visible) {
  presented_ = grid;
  presented_cursor_column_ = cursor_column;
  presented_cursor_visible_ = cursor_visible;
}

std::optional<InputEvent> MemoryBackend::ReadEvent(std::optional<std::int64_t> deadline_ms) {
  while (!script_.empty()) {
    Step& step = script_.front();
    if (step.pause_ms == 0) {
      InputEvent event = std::move(step.event);
      script_.pop_front();
      return event;
    }
    if (deadline_ms && now_ms_ + step.pause_ms > *deadline_ms) {
      // The deadline comes first: the rest of the pause waits for the next read.
      if (*deadline_ms > now_ms_) {
        step.pause_ms -= *deadline_ms - now_ms_;
        now_ms_ = *deadline_ms;
      }
      return std::nullopt;
    }
    now_ms_ += step.pause_ms;
    script_.pop_front();
  }
  if (!deadline_ms) {
    std::fprintf(stderr,
                 "MemoryBackend: a wait without a time limit found the script empty "
                 "(the test is missing an input event)\n");
    std::abort();
  }
  if (*deadline_ms > now_ms_) now_ms_ = *deadline_ms;
  return std::nullopt;
}

}  // namespace console
