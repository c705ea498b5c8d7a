#include "vterm_harness.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <utmp.h>

#include <fstream>

#include "base/error.h"
#include "test_util.h"

extern char** environ;

namespace e2e {
namespace {

std::int64_t NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// The argv and envp for exec, built before fork; the environment as VtermHarness::Start says.
struct ExecArguments {
  ExecArguments(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::string>& changes)
      : argv_text{program} {
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    for (char** entry = environ; *entry != nullptr; ++entry) env_text.emplace_back(*entry);
    std::vector<std::string> all = {"TERM=xterm-256color", "LC_ALL=C.UTF-8"};
    all.insert(all.end(), changes.begin(), changes.end());
    for (const std::string& entry : all) {
      const std::string name = entry.substr(0, entry.find('=')) + "=";
      std::erase_if(env_text, [&](const std::string& old) { return old.starts_with(name); });
      if (entry.find('=') != std::string::npos) env_text.push_back(entry);
    }
    for (std::string& text : argv_text) argv.push_back(text.data());
    for (std::string& text : env_text) envp.push_back(text.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
  }
  std::vector<std::string> argv_text, env_text;
  std::vector<char*> argv, envp;
};

// The line modes as text to compare: flags and control characters.
std::string DescribeModes(const termios& modes) {
  return std::to_string(modes.c_iflag) + " " + std::to_string(modes.c_oflag) + " " +
         std::to_string(modes.c_cflag) + " " + std::to_string(modes.c_lflag) + " " +
         std::string(std::begin(modes.c_cc), std::end(modes.c_cc));
}

// In the child, after fork: runs `argv` as a foreground job of a shell with job control
// and exits with its status (128 + the signal that ended it).
[[noreturn]] void RunAsJob(char* const* argv, char* const* envp) {
  const pid_t program = fork();
  if (program == 0) {
    setpgid(0, 0);
    signal(SIGTTOU, SIG_IGN);  // taking the terminal from the background needs it ignored
    tcsetpgrp(STDIN_FILENO, getpid());
    signal(SIGTTOU, SIG_DFL);
    execve(argv[0], argv, envp);
    _exit(127);
  }
  int status = 127 << 8;
  while (program > 0 && waitpid(program, &status, 0) < 0 && errno == EINTR) {
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

}  // namespace

VtermHarness::~VtermHarness() {
  if (pid_ > 0 && exit_.empty()) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

::testing::AssertionResult VtermHarness::Start(const std::string& program,
                                               const std::vector<std::string>& args,
                                               const std::vector<std::string>& environment,
                                               int rows, int columns, bool as_job) {
  rows_ = rows;
  columns_ = columns;
  vterm_.reset(vterm_new(rows, columns));
  vterm_set_utf8(vterm_.get(), 1);
  vterm_output_set_callback(  // what the terminal answers or sends for a key or a click
      vterm_.get(),
      [](const char* bytes, size_t length, void* self) {
        static_cast<VtermHarness*>(self)->SendBytes({bytes, length});
      },
      this);
  screen_ = vterm_obtain_screen(vterm_.get());
  static const VTermScreenCallbacks kCallbacks = {
      .settermprop = [](VTermProp property, VTermValue* value, void* user) {
        auto& self = *static_cast<VtermHarness*>(user);
        if (property == VTERM_PROP_TITLE) self.title_ = value->string ? value->string : "";
        if (property == VTERM_PROP_ALTSCREEN) self.alternate_screen_ = value->boolean != 0;
        if (property == VTERM_PROP_MOUSE) self.mouse_mode_ = value->number;
        if (property == VTERM_PROP_CURSORVISIBLE) self.cursor_visible_ = value->boolean != 0;
        return 1;
      }};
  vterm_screen_set_callbacks(screen_, &kCallbacks, this);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);

  const ExecArguments exec(program, args, environment);
  winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
  int master_fd = -1, slave_fd = -1;
  if (openpty(&master_fd, &slave_fd, nullptr, nullptr, &size) != 0) {
    return ::testing::AssertionFailure()
           << "openpty: " << base::DescribeOsError(base::GetLastOsError());
  }
  master_.Reset(master_fd);
  termios modes{};
  tcgetattr(slave_fd, &modes);
  tty_modes_at_start_ = DescribeModes(modes);
  pid_ = program_pid_ = fork();
  if (pid_ == 0) {
    close(master_fd);
    if (login_tty(slave_fd) != 0) _exit(127);
    const rlimit no_core = {0, 0};  // a program ended by a crash signal leaves no core
    setrlimit(RLIMIT_CORE, &no_core);
    if (as_job) RunAsJob(exec.argv.data(), exec.envp.data());
    execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    _exit(127);
  }
  close(slave_fd);
  fcntl(master_fd, F_SETFL, fcntl(master_fd, F_GETFL) | O_NONBLOCK);
  fcntl(master_fd, F_SETFD, FD_CLOEXEC);
  // The program of a job is the process group that takes the terminal.
  const auto job = [&] {
    return (program_pid_ = tcgetpgrp(master_fd)) > 0 && program_pid_ != pid_;
  };
  return as_job ? WaitUntil(job, "the job to take the terminal") : ::testing::AssertionSuccess();
}

void VtermHarness::SendBytes(std::string_view bytes) {
  while (!bytes.empty() && master_.valid()) {
    const ssize_t written = write(master_.get(), bytes.data(), bytes.size());
    if (written >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(written));
    } else if (errno == EAGAIN) {
      pollfd fd = {master_.get(), POLLOUT, 0};
      poll(&fd, 1, 100);
    } else if (errno != EINTR) {
      return;
    }
  }
}

void VtermHarness::SendKey(VTermKey key) { vterm_keyboard_key(vterm_.get(), key, VTERM_MOD_NONE); }

void VtermHarness::Click(int row, int column, int button) {
  vterm_mouse_move(vterm_.get(), row - 1, column - 1, VTERM_MOD_NONE);
  vterm_mouse_button(vterm_.get(), button, true, VTERM_MOD_NONE);
  vterm_mouse_button(vterm_.get(), button, false, VTERM_MOD_NONE);
}

void VtermHarness::Pump(int timeout_ms) {
  pollfd fd = {master_.get(), POLLIN, 0};
  if (!master_.valid() || poll(&fd, 1, timeout_ms) <= 0) return;
  char buffer[8192];
  for (;;) {
    const ssize_t count = read(master_.get(), buffer, sizeof buffer);
    if (count == 0 || (count < 0 && errno == EIO)) {
      // No process has the program's side open (yet, or any more): poll says so at once.
      poll(nullptr, 0, timeout_ms);
      return;
    }
    if (count < 0) return;  // EAGAIN: all read for now
    output_.append(buffer, static_cast<std::size_t>(count));
    vterm_input_write(vterm_.get(), buffer, static_cast<std::size_t>(count));
  }
}

void VtermHarness::Settle(int ms) {
  static_cast<void>(WaitUntil([] { return false; }, "", ms));
}

::testing::AssertionResult VtermHarness::WaitUntil(const std::function<bool()>& predicate,
                                                   std::string_view what, int timeout_ms) {
  const std::int64_t deadline = NowMs() + timeout_ms;
  for (Pump(0); !predicate(); Pump(20)) {
    if (NowMs() >= deadline) {
      return ::testing::AssertionFailure()
             << "timed out after " << timeout_ms << " ms waiting for " << what << "; the screen:\n"
             << Screen();
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult VtermHarness::WaitForText(int row, std::string_view text,
                                                     int timeout_ms) {
  return WaitUntil([&] { return (row == 0 ? Screen() : Row(row)).find(text) != std::string::npos; },
                   "row " + std::to_string(row) + " to contain \"" + std::string(text) + "\"",
                   timeout_ms);
}

std::string VtermHarness::Row(int row) const {
  std::string text;
  for (int column = 1; column <= columns_; ++column) {
    VTermScreenCell cell{};
    vterm_screen_get_cell(screen_, VTermPos{row - 1, column - 1}, &cell);
    if (cell.chars[0] == static_cast<uint32_t>(-1)) continue;  // right half of a wide one
    if (cell.chars[0] == 0) text += ' ';
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i] != 0; ++i) {
      text += test::EncodeUtf8(cell.chars[i]);
    }
  }
  return text;
}

std::string VtermHarness::Screen() const {
  std::string text;
  for (int row = 1; row <= rows_; ++row) text += Row(row) + "\n";
  return text;
}

std::string VtermHarness::Look(int row, int column) const {
  VTermScreenCell cell{};
  vterm_screen_get_cell(screen_, VTermPos{row - 1, column - 1}, &cell);
  // The console's palette swaps blue/red and cyan/brown from ANSI: its own inverse.
  static constexpr int kMap[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  const auto number = [](const VTermColor& colour) {
    return VTERM_COLOR_IS_DEFAULT_FG(&colour) || VTERM_COLOR_IS_DEFAULT_BG(&colour) ||
                   !VTERM_COLOR_IS_INDEXED(&colour) || colour.indexed.idx >= 16
               ? "-1"
               : std::to_string(kMap[colour.indexed.idx]);
  };
  return number(cell.fg) + "/" + number(cell.bg) + (cell.attrs.bold ? " bold" : "") +
         (cell.attrs.blink ? " blink" : "");
}

void VtermHarness::Resize(int rows, int columns) {
  rows_ = rows;
  columns_ = columns;
  vterm_set_size(vterm_.get(), rows, columns);
  winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
  ioctl(master_.get(), TIOCSWINSZ, &size);
}

void VtermHarness::Signal(int signal_number) {
  if (program_pid_ > 0 && exit_.empty()) kill(program_pid_, signal_number);
}

bool VtermHarness::Stopped() const {
  std::ifstream stat("/proc/" + std::to_string(program_pid_) + "/stat");
  const std::string line(std::istreambuf_iterator<char>(stat), {});
  return line.find(") T ") != std::string::npos;  // "pid (name) STATE ..."
}

std::string VtermHarness::TtyModes() const {
  termios modes{};
  // On Linux the master's modes are those of the program's side.
  if (!master_.valid() || tcgetattr(master_.get(), &modes) != 0) return "(no terminal)";
  return DescribeModes(modes);
}

void VtermHarness::Hangup() { master_.Reset(); }

std::string VtermHarness::WaitExit(int timeout_ms) {
  int status = 0;
  if (exit_.empty() &&
      WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, "the end", timeout_ms)) {
    exit_ = WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status))
                              : "signal " + std::to_string(WTERMSIG(status));
    Pump(0);  // the last bytes it wrote
  }
  return exit_.empty() ? "running" : exit_;
}

DetachedRun::DetachedRun(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, const std::string& cwd) {
  const ExecArguments exec(program, args, environment);
  const std::string output_path = files_.Join("stdout");
  const std::string error_path = files_.Join("stderr");
  pid_ = fork();
  if (pid_ == 0) {
    const int input = open("/dev/null", O_RDONLY);
    const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (setsid() < 0 || input < 0 || output < 0 || error < 0 || dup2(input, 0) < 0 ||
        dup2(output, 1) < 0 || dup2(error, 2) < 0 || chdir(cwd.c_str()) != 0) {
      _exit(126);
    }
    execve(exec.argv[0], exec.argv.data(), exec.envp.data());
    _exit(127);
  }
}

DetachedRun::~DetachedRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

Outcome DetachedRun::Wait() {
  int status = 126 << 8;  // a failed fork, as a failed start
  while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
          test::ReadFile(files_.Join("stdout")).value_or("(no file)"),
          test::ReadFile(files_.Join("stderr")).value_or("(no file)")};
}

}  // namespace e2e
