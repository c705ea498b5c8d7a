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
#include <sstream>

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

// This process's environment with TERM=xterm-256color and LC_ALL=C.UTF-8, then `changes`
// applied in order: "NAME=VALUE" sets NAME, a bare "NAME" removes it.
std::vector<std::string> Environment(const std::vector<std::string>& changes) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  std::vector<std::string> all = {"TERM=xterm-256color", "LC_ALL=C.UTF-8"};
  all.insert(all.end(), changes.begin(), changes.end());
  for (const std::string& entry : all) {
    const std::size_t equals = entry.find('=');
    const std::string name = entry.substr(0, equals);
    std::erase_if(environment, [&](const std::string& existing) {
      return existing.compare(0, name.size() + 1, name + "=") == 0;
    });
    if (equals != std::string::npos) environment.push_back(entry);
  }
  return environment;
}

// The null-terminated array of pointers into `texts` that exec takes.
std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The console colour number of an indexed colour among the first 16 (the console numbers
// blue/red and cyan/brown the other way round from ANSI: the map is its own inverse); -1
// for the default colour, others and RGB.
int ConsoleColour(const VTermColor& colour) {
  static constexpr int kMap[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
  if (VTERM_COLOR_IS_DEFAULT_FG(&colour) || VTERM_COLOR_IS_DEFAULT_BG(&colour) ||
      !VTERM_COLOR_IS_INDEXED(&colour) || colour.indexed.idx >= 16) {
    return -1;
  }
  return kMap[colour.indexed.idx];
}

std::string DescribeModes(const termios& modes) {
  std::ostringstream text;
  text << std::hex << "iflag " << modes.c_iflag << " oflag " << modes.c_oflag << " cflag "
       << modes.c_cflag << " lflag " << modes.c_lflag << " cc";
  for (const cc_t c : modes.c_cc) text << ' ' << static_cast<int>(c);
  return text.str();
}

// In the child, after fork: only async-signal-safe calls. Runs `argv` as a job of a shell
// with job control and ends as it ends.
[[noreturn]] void RunAsJob(char* const* argv, char* const* envp) {
  const pid_t program = fork();
  if (program == 0) {
    setpgid(0, 0);
    // Taking the terminal from the background needs SIGTTOU held off.
    sigset_t ttou, old;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &old);
    tcsetpgrp(STDIN_FILENO, getpid());
    sigprocmask(SIG_SETMASK, &old, nullptr);
    execve(argv[0], argv, envp);
    _exit(127);
  }
  int status = 0;
  while (program > 0 && waitpid(program, &status, 0) < 0 && errno == EINTR) {
  }
  if (program > 0 && WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    kill(getpid(), WTERMSIG(status));
  }
  _exit(program > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

}  // namespace

VtermHarness::VtermHarness() = default;

VtermHarness::~VtermHarness() {
  if (pid_ > 0 && !exit_status_) {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

::testing::AssertionResult VtermHarness::Start(const std::string& program,
                                               const std::vector<std::string>& args,
                                               const std::vector<std::string>& environment,
                                               int rows, int columns, Session session) {
  if (pid_ > 0) return ::testing::AssertionFailure() << "a program was started already";
  rows_ = rows;
  columns_ = columns;
  vterm_.reset(vterm_new(rows, columns));
  vterm_set_utf8(vterm_.get(), 1);
  vterm_output_set_callback(vterm_.get(), &VtermHarness::OnOutput, this);
  screen_ = vterm_obtain_screen(vterm_.get());
  static const VTermScreenCallbacks kCallbacks = {
      nullptr, nullptr, nullptr, &VtermHarness::OnTermProp, nullptr, nullptr, nullptr, nullptr};
  vterm_screen_set_callbacks(screen_, &kCallbacks, this);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);

  // Everything the child needs is built before fork: after it, only async-signal-safe calls.
  std::vector<std::string> env = Environment(environment);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  const std::vector<char*> envp = Pointers(env);
  const std::vector<char*> argv = Pointers(argv_text);

  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  int master_fd = -1;
  int slave_fd = -1;
  if (openpty(&master_fd, &slave_fd, nullptr, nullptr, &size) != 0) {
    return ::testing::AssertionFailure()
           << "openpty: " << base::DescribeOsError(base::GetLastOsError());
  }
  master_.Reset(master_fd);
  termios modes{};
  tcgetattr(slave_fd, &modes);
  tty_modes_at_start_ = DescribeModes(modes);
  const pid_t pid = fork();
  if (pid < 0) {
    close(slave_fd);
    return ::testing::AssertionFailure()
           << "fork: " << base::DescribeOsError(base::GetLastOsError());
  }
  if (pid == 0) {
    close(master_fd);
    if (login_tty(slave_fd) != 0) _exit(127);
    const rlimit no_core = {0, 0};  // a program ended by a crash signal leaves no core
    setrlimit(RLIMIT_CORE, &no_core);
    if (session == Session::kJob) RunAsJob(argv.data(), envp.data());
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(slave_fd);
  pid_ = pid;
  program_pid_ = pid;
  fcntl(master_.get(), F_SETFL, fcntl(master_.get(), F_GETFL) | O_NONBLOCK);
  fcntl(master_.get(), F_SETFD, FD_CLOEXEC);
  if (session == Session::kJob) {
    // The program is the job that has taken the terminal.
    const auto job_group = [&] {
      const pid_t group = tcgetpgrp(master_.get());
      return group > 0 && group != pid_ ? group : -1;
    };
    if (!WaitUntil([&] { return job_group() > 0; }, "the job started")) {
      return ::testing::AssertionFailure() << "the job did not take the terminal";
    }
    program_pid_ = job_group();
  }
  return ::testing::AssertionSuccess();
}

void VtermHarness::OnOutput(const char* bytes, size_t length, void* user) {
  static_cast<VtermHarness*>(user)->WriteToProgram(std::string_view(bytes, length));
}

int VtermHarness::OnTermProp(VTermProp property, VTermValue* value, void* user) {
  auto& self = *static_cast<VtermHarness*>(user);
  switch (property) {
    case VTERM_PROP_TITLE:
      self.title_ = value->string != nullptr ? value->string : "";
      break;
    case VTERM_PROP_ALTSCREEN:
      self.alternate_screen_ = value->boolean != 0;
      break;
    case VTERM_PROP_MOUSE:
      self.mouse_mode_ = value->number;
      break;
    case VTERM_PROP_CURSORVISIBLE:
      self.cursor_visible_ = value->boolean != 0;
      break;
    default:
      break;
  }
  return 1;
}

void VtermHarness::WriteToProgram(std::string_view bytes) {
  while (!bytes.empty() && master_.valid()) {
    const ssize_t written = write(master_.get(), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd fd = {master_.get(), POLLOUT, 0};
        poll(&fd, 1, 100);
        continue;
      }
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void VtermHarness::SendBytes(std::string_view bytes) { WriteToProgram(bytes); }

void VtermHarness::SendKey(VTermKey key, VTermModifier modifiers) {
  vterm_keyboard_key(vterm_.get(), key, modifiers);
}

void VtermHarness::SendChar(char32_t character, VTermModifier modifiers) {
  vterm_keyboard_unichar(vterm_.get(), static_cast<uint32_t>(character), modifiers);
}

void VtermHarness::Click(int row, int column, int button) {
  vterm_mouse_move(vterm_.get(), row - 1, column - 1, VTERM_MOD_NONE);
  vterm_mouse_button(vterm_.get(), button, true, VTERM_MOD_NONE);
  vterm_mouse_button(vterm_.get(), button, false, VTERM_MOD_NONE);
}

void VtermHarness::Pump(int timeout_ms) {
  if (!master_.valid()) return;
  pollfd fd = {master_.get(), POLLIN, 0};
  if (poll(&fd, 1, timeout_ms) <= 0) return;
  char buffer[8192];
  for (;;) {
    const ssize_t count = read(master_.get(), buffer, sizeof buffer);
    if (count == 0 || (count < 0 && errno == EIO)) {
      // No process has the program's side open (it has ended, or is between closing its
      // standard streams and opening /dev/tty): poll reports that at once, so let the time
      // pass here instead of spinning.
      if (timeout_ms > 0) poll(nullptr, 0, timeout_ms);
      return;
    }
    if (count < 0) return;  // EAGAIN: all read for now
    output_.append(buffer, static_cast<std::size_t>(count));
    vterm_input_write(vterm_.get(), buffer, static_cast<std::size_t>(count));
  }
}

::testing::AssertionResult VtermHarness::WaitUntil(const std::function<bool()>& predicate,
                                                   std::string_view what, int timeout_ms) {
  const std::int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    Pump(0);
    if (predicate()) return ::testing::AssertionSuccess();
    const std::int64_t left = deadline - NowMs();
    if (left <= 0) break;
    Pump(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
  return ::testing::AssertionFailure()
         << "timed out after " << timeout_ms << " ms waiting for " << what << "; the screen:\n"
         << Screen();
}

::testing::AssertionResult VtermHarness::WaitForText(int row, std::string_view text,
                                                     int timeout_ms) {
  const std::string what =
      "row " + std::to_string(row) + " to contain \"" + std::string(text) + "\"";
  return WaitUntil([&] { return Row(row).find(text) != std::string::npos; }, what, timeout_ms);
}

::testing::AssertionResult VtermHarness::WaitForScreenText(std::string_view text, int timeout_ms) {
  const std::string what = "the screen to contain \"" + std::string(text) + "\"";
  return WaitUntil([&] { return Screen().find(text) != std::string::npos; }, what, timeout_ms);
}

bool VtermHarness::CellAt(int row, int column, VTermScreenCell& cell) const {
  if (screen_ == nullptr || row < 1 || row > rows_ || column < 1 || column > columns_) {
    return false;
  }
  return vterm_screen_get_cell(screen_, VTermPos{row - 1, column - 1}, &cell) != 0;
}

std::string VtermHarness::Row(int row) const {
  std::string text;
  for (int column = 1; column <= columns_; ++column) {
    VTermScreenCell cell{};
    if (!CellAt(row, column, cell)) continue;
    if (cell.chars[0] == static_cast<uint32_t>(-1)) continue;  // right half of a wide one
    if (cell.chars[0] == 0) {
      text += ' ';
      continue;
    }
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

int VtermHarness::ConsoleForeground(int row, int column) const {
  VTermScreenCell cell{};
  return CellAt(row, column, cell) ? ConsoleColour(cell.fg) : -1;
}

int VtermHarness::ConsoleBackground(int row, int column) const {
  VTermScreenCell cell{};
  return CellAt(row, column, cell) ? ConsoleColour(cell.bg) : -1;
}

bool VtermHarness::Bold(int row, int column) const {
  VTermScreenCell cell{};
  return CellAt(row, column, cell) && cell.attrs.bold != 0;
}

bool VtermHarness::Blink(int row, int column) const {
  VTermScreenCell cell{};
  return CellAt(row, column, cell) && cell.attrs.blink != 0;
}

void VtermHarness::Resize(int rows, int columns) {
  rows_ = rows;
  columns_ = columns;
  vterm_set_size(vterm_.get(), rows, columns);
  winsize size{};
  size.ws_row = static_cast<unsigned short>(rows);
  size.ws_col = static_cast<unsigned short>(columns);
  ioctl(master_.get(), TIOCSWINSZ, &size);
}

void VtermHarness::Signal(int signal_number) {
  if (program_pid_ > 0 && !exit_status_) kill(program_pid_, signal_number);
}

bool VtermHarness::Stopped() const {
  std::ifstream stat("/proc/" + std::to_string(program_pid_) + "/stat");
  std::string line;
  std::getline(stat, line);
  // "pid (name) S ...": the state follows the name's closing parenthesis.
  const std::size_t name_end = line.rfind(')');
  return name_end != std::string::npos && name_end + 2 < line.size() && line[name_end + 2] == 'T';
}

std::string VtermHarness::TtyModes() const {
  termios modes{};
  // On Linux the master's modes are those of the program's side.
  if (!master_.valid() || tcgetattr(master_.get(), &modes) != 0) return "(no terminal)";
  return DescribeModes(modes);
}

void VtermHarness::Hangup() { master_.Reset(); }

std::optional<ExitStatus> VtermHarness::WaitExit(int timeout_ms) {
  if (exit_status_ || pid_ <= 0) return exit_status_;
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, "the end", timeout_ms)) {
    return std::nullopt;
  }
  ExitStatus result;
  result.exited = WIFEXITED(status);
  result.code = result.exited ? WEXITSTATUS(status) : 0;
  result.signalled = WIFSIGNALED(status);
  result.signal = result.signalled ? WTERMSIG(status) : 0;
  exit_status_ = result;
  Pump(0);  // the last bytes it wrote
  return exit_status_;
}

DetachedRun::DetachedRun(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, const std::string& cwd) {
  std::vector<std::string> env = Environment(environment);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  const std::vector<char*> envp = Pointers(env);
  const std::vector<char*> argv = Pointers(argv_text);
  const std::string output_path = files_.Join("stdout");
  const std::string error_path = files_.Join("stderr");
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int input = open("/dev/null", O_RDONLY);
    const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (setsid() < 0 || input < 0 || output < 0 || error < 0 || dup2(input, 0) < 0 ||
        dup2(output, 1) < 0 || dup2(error, 2) < 0 || chdir(cwd.c_str()) != 0) {
      _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
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
  Outcome run;
  int status = 0;
  if (pid_ <= 0) {
    run.exited = true;
    run.status = 126;
    return run;
  }
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -1;
  run.output = test::ReadFile(files_.Join("stdout")).value_or("(no file)");
  run.error = test::ReadFile(files_.Join("stderr")).value_or("(no file)");
  return run;
}

}  // namespace e2e
