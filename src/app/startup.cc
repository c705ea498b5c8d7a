#include "app/startup.h"

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_screen.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/unattended.h"
#include "app/update_page.h"
#include "award/band_files.h"
#include "award/country_file.h"
#include "award/region_tables.h"
#include "base/atomic_file.h"
#include "base/text_file.h"
#include "base/upper_case.h"
#include "console/line_editor.h"

namespace app {
namespace {

constexpr std::array<std::string_view, 17> kIntroduction = {
    "  Before going further you will need your QRZ Account Name",
    "  which is usually your call sign.",
    "  And you will also need your QRZ Logbook API Key.        ",
    "  It can be found in your QRZ log book under 'Settings'.  ",
    "  It's a long number that looks like: XXXX-YYYY-ZZZZ-AAAA ",
    "  Of course your API Key will have different numbers.     ",
    "  Make sure you enter it correctly!  Double check it.     ",
    "  The initial installation process will download your QRZ ",
    "  log book to your hard drive. When ever you update your  ",
    "  QRZ log book you should use the 'Update' option in the  ",
    "  Statekeeper to resynchronize the Statekeeper with your  ",
    "  online QRZ logbook.                                     ",
    "  Please make sure you have copied your logbook API Key   ",
    "  correctly.  This is very important.                     ",
    "                                                          ",
    "       If you are ready to proceed press the [Y] key.     ",
    "         If you are NOT ready tap any other key.          ",
};

// The Introduction and the two prompts. Returns false when the operator did not answer
// "Y"; otherwise the typed values are in `values`, the Settings file has been written
// where it could be, and the first synchronisation has run.
bool RunFirstRun(console::Console& console, ProgramValues& values, AwardData& data) {
  console.ClearScreen();
  for (size_t line = 0; line < kIntroduction.size(); ++line) {
    console.WriteText(kIntroduction[line]);
    console.EndLine();
    if (line == 1 || line == 6 || line == 11) console.EndLine();
  }
  if (base::UpperCase(console.WaitKey(0)) != "Y") return false;

  console.ClearScreen();
  console.WriteText("Please enter your QRZ Account Name:");
  values.account_name = base::UpperCase(base::FirstField(console::ReadLine(console)));
  console.WriteText("Please enter you QRZ API Key:");
  values.api_key = base::FirstField(console::ReadLine(console));

  CreateProgramFolder(values.places);
  // A Settings file that cannot be written leaves the next start a first run again; the
  // synchronisation below still uses the values just typed.
  (void)WriteSettings(values.places.program_folder + kSettingsFileName,
                      {values.account_name, values.api_key});

  const logbook::SyncResult result = Synchronise(console, values, data);
  if (!result.ok()) {
    // The window has its own size still, as small as 24 rows: the notice and the line
    // below it stand each on a row of their own within the first 24.
    ShowSyncFailure(console, values, result, FailureLayout::kFirstRun);
    console.MoveCursor(24, 6);
    console.WriteText("Press any key to go on.");
    console.WaitKey(0);
  }
  return true;
}

void ConfigureConsole(console::Console& console) {
  console.SelectPage(1, 1);
  console.SetTitle(kWindowTitle);
  console.SetScreenSize(kScreenRows, kScreenColumns);
  console.SetColors(kNormalForeground, kNormalBackground);
  console.SetCursorVisible(false);
  console.EnableMouse(console::kMouseLeft, console::kMousePressed | console::kMouseDoubleClick);
  console.ClearScreen();
}

}  // namespace

int RunProgram(console::Console& console, const Places& places,
               std::function<bool()> termination_requested) {
  // A rewrite killed midway (a power cut, the window closed during an update) left its new
  // file behind: remove it before anything reads the folder.
  base::RemoveLeftovers(places.program_folder);

  // The award data is large enough (some 500 strings) to live on the heap.
  auto data = std::make_unique<AwardData>();
  award::FillStateTable(data->states);

  ProgramValues values;
  values.places = places;
  values.termination_requested = std::move(termination_requested);

  const std::string settings_path = places.program_folder + kSettingsFileName;
  if (!SettingsFileReadable(settings_path) && !RunFirstRun(console, values, *data)) {
    ShowFarewell(console);
    return 0;
  }

  const Settings settings = ReadSettings(settings_path);
  values.account_name = settings.account_name;
  values.api_key = settings.api_key;

  ConfigureConsole(console);
  award::LoadBandFiles(places.program_folder, data->unconfirmed);
  award::LoadCountryFile(places.program_folder, data->countries);
  console.ClearScreen();
  RunMainScreen(console, values, *data);
  return 0;
}

int RunMain(int argc, char** argv, const char* version, const Platform& platform) {
  const std::vector<std::string> arguments =
      argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
  const CommandLineAnswer answer = AnswerCommandLine(arguments, version, platform.help);
  if (answer.next == CommandLineAnswer::Next::kExit) return WriteAnswer(answer, stdout, stderr);
  if (platform.set_up) platform.set_up();

  // Both checks come before the screen is taken over, so that their one line stays
  // readable on the terminal.
  base::Error error;
  const std::optional<Places> places = PlacesFromEnvironment(error);
  if (!places) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  // A run without the screen touches no terminal.
  if (answer.next != CommandLineAnswer::Next::kRun) {
    return RunUnattended(answer, *places, stdout, stderr);
  }
  const std::unique_ptr<console::Backend> backend = platform.open_terminal(error);
  if (!backend) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    return 1;
  }
  console::Console console(*backend);
  return RunProgram(console, *places, platform.termination_requested);
}

}  // namespace app
