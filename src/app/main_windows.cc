// The program's entry on Windows: the console; the rest is the main program that every
// platform shares (RunMain).
#include <memory>

#include "app/startup.h"
#include "console/backend_windows.h"

namespace {

std::unique_ptr<console::Backend> OpenConsole(base::Error& error) {
  return console::WindowsConsoleBackend::Create(error);
}

}  // namespace

int main(int argc, char** argv) {
  const app::Platform platform{app::HelpPlatform::kWindows, nullptr, &OpenConsole,
                               &console::WindowsConsoleBackend::IsTerminationRequested};
  return app::RunMain(argc, argv, STATEKEEPER_VERSION, platform);
}
