// The program's entry on Windows: the command line, the places of its files, the console,
// and then the program itself.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/program_folder.h"
#include "app/startup.h"
#include "app/unattended.h"
#include "console/backend_windows.h"
#include "console/console.h"

int main(int argc, char** argv) {
  // Arguments are answered before any set-up: "--help" and the like touch neither the
  // terminal nor a file.
  const std::vector<std::string> arguments =
      argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  const app::CommandLineAnswer answer =
      app::AnswerCommandLine(arguments, STATEKEEPER_VERSION, app::HelpPlatform::kWindows);
  if (answer.next == app::CommandLineAnswer::Next::kExit) {
    return app::WriteAnswer(answer, stdout, stderr);
  }

  // Both checks come before the console is taken over, so that their one line stays
  // readable.
  base::Error error;
  const std::optional<app::Places> places = app::PlacesFromEnvironment(error);
  if (!places) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  // A run without the screen touches no terminal.
  if (answer.next != app::CommandLineAnswer::Next::kRun) {
    return app::RunUnattended(answer, *places, stdout, stderr);
  }
  std::unique_ptr<console::WindowsConsoleBackend> backend =
      console::WindowsConsoleBackend::Create(error);
  if (!backend) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  console::Console console(*backend);
  return app::RunProgram(console, *places, &console::WindowsConsoleBackend::IsTerminationRequested);
}
