// What the console costs on a real terminal: the bytes written and the time taken for a
// full first frame of 66 x 43 in the Normal colours, and for the redraw after one Selector
// item on row 1 changes colour. The backend writes to a pseudo-terminal whose other side a
// thread drains and counts; an empty title sequence after each frame marks where the frame's
// bytes end.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <clocale>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/unique_handle.h"
#include "console/backend_ncurses.h"
#include "console/console.h"

namespace {

constexpr int kRows = 43;
constexpr int kColumns = 66;
constexpr std::size_t kMarkerLength = 5;  // "\e]0;" and BEL, the empty title

// The terminal's side of a pseudo-terminal: counts what the program writes, and the count
// at each BEL (which only the title sequence contains).
class DrainedTerminal {
 public:
  DrainedTerminal() {
    winsize size{};
    size.ws_row = kRows;
    size.ws_col = kColumns;
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, &size) != 0) std::abort();
    master_.Reset(master);
    slave_.Reset(slave);
    reader_ = std::thread([this] { Drain(); });
  }
  ~DrainedTerminal() {
    slave_.Reset();
    reader_.join();  // the read ends with EIO once the program's side is closed
  }

  int program_fd() const { return slave_.get(); }

  // Waits for the next marker and returns the bytes written since the one before it,
  // without the marker itself.
  std::int64_t BytesUpToNextMarker() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return markers_seen_ > markers_taken_; });
    ++markers_taken_;
    const std::int64_t bytes = marker_count_[markers_taken_ % 2] -
                               marker_count_[(markers_taken_ + 1) % 2] -
                               static_cast<std::int64_t>(kMarkerLength);
    return bytes;
  }

 private:
  void Drain() {
    char buffer[16384];
    for (;;) {
      const ssize_t count = read(master_.get(), buffer, sizeof buffer);
      if (count <= 0) return;
      std::lock_guard lock(mutex_);
      for (ssize_t i = 0; i < count; ++i) {
        ++total_;
        if (buffer[i] == '\a') {
          ++markers_seen_;
          marker_count_[markers_seen_ % 2] = total_;
          changed_.notify_all();
        }
      }
    }
  }

  base::UniqueFd master_;
  base::UniqueFd slave_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::int64_t total_ = 0;
  std::int64_t markers_seen_ = 0;
  std::int64_t markers_taken_ = 0;
  std::int64_t marker_count_[2] = {0, 0};
};

// The main screen's shape: twelve Selector items on row 1, a rule on row 2, text below.
void DrawFullScreen(console::Console& console) {
  console.SetColors(15, 1);
  console.ClearScreen();
  console.MoveCursor(1, 2);
  console.WriteText("10m  12m  15m  17m  20m  30m  40m  80m  160m All  DX  Update");
  console.MoveCursor(2, 2);
  console.WriteText(console::HorizontalRule(63));
  for (int row = 3; row <= kRows; ++row) {
    console.MoveCursor(row, 1);
    std::string text = " " + std::to_string(row) + " Massachusetts MA  Worked and confirmed";
    text.resize(kColumns, ' ');
    console.WriteText(text);
  }
}

struct Session {
  DrainedTerminal terminal;
  std::unique_ptr<console::TerminalBackend> backend;
  std::unique_ptr<console::Console> console;

  Session() {
    base::Error error;
    backend = console::TerminalBackend::CreateOn(terminal.program_fd(), error);
    if (!backend) {
      std::fprintf(stderr, "console_bench: %s\n", error.message.c_str());
      std::abort();
    }
    console = std::make_unique<console::Console>(*backend);
    console->SetScreenSize(kRows, kColumns);
    console->SetCursorVisible(false);
    backend->SetTitle("");  // the first title also saves the terminal's own: not counted
    (void)terminal.BytesUpToNextMarker();
  }

  // Shows what was drawn and returns the bytes it took.
  std::int64_t Show() {
    console->Flush();
    backend->SetTitle("");
    return terminal.BytesUpToNextMarker();
  }
};

void BM_FullFirstFrame(benchmark::State& state) {
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto session = std::make_unique<Session>();
    DrawFullScreen(*session->console);
    state.ResumeTiming();
    session->console->Flush();
    state.PauseTiming();
    session->backend->SetTitle("");
    bytes = session->terminal.BytesUpToNextMarker();
    session.reset();
    state.ResumeTiming();
  }
  state.counters["bytes_per_frame"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FullFirstFrame)->Unit(benchmark::kMicrosecond)->Iterations(50);

void BM_OneSelectorItemRedraw(benchmark::State& state) {
  Session session;
  DrawFullScreen(*session.console);
  (void)session.Show();
  bool highlighted = false;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    highlighted = !highlighted;
    session.console->MoveCursor(1, 2);
    if (highlighted) {
      session.console->SetColors(14, 4);
    } else {
      session.console->SetColors(15, 1);
    }
    session.console->WriteText("10m");
    bytes = session.Show();
  }
  state.counters["bytes_per_frame"] = static_cast<double>(bytes);
}
BENCHMARK(BM_OneSelectorItemRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("TERM", "xterm-256color", 1);
  if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) std::setlocale(LC_ALL, "");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
