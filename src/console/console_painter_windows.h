// Paints the console model's screen into a Windows console screen buffer, at the top left
// of the console's window: the cells that changed since the last frame (runs of them, one
// write each), the too-small notice while the window is smaller than the screen, and the
// cursor. What to paint is the PaintRecord's decision; this carries it out with the
// console API.
#ifndef STATEKEEPER_CONSOLE_CONSOLE_PAINTER_WINDOWS_H_
#define STATEKEEPER_CONSOLE_CONSOLE_PAINTER_WINDOWS_H_

#include <windows.h>

#include "console/backend.h"
#include "console/paint_record.h"

namespace console {

class ConsolePainter {
 public:
  // Paints into `output` from now on; the handle is borrowed, and must stay open for as
  // long as the painter paints.
  void Attach(HANDLE output) { output_ = output; }

  // The model's screen and what of it is painted.
  PaintRecord& record() { return record_; }
  const PaintRecord& record() const { return record_; }

  // Paints the record's screen into the window as it is now, or the notice in its place.
  void Render(Repaint repaint);

 private:
  void ShowNotice(const CONSOLE_SCREEN_BUFFER_INFO& info, Size window);
  void WriteRun(int row, CellRun run);
  // Blanks the window in the console's default colours.
  void BlankWindow(const CONSOLE_SCREEN_BUFFER_INFO& info, Size window);
  void SetCursorShown(bool visible);

  HANDLE output_ = INVALID_HANDLE_VALUE;
  PaintRecord record_;
  int shown_cursor_ = -1;  // the cursor visibility last set, -1 before the first
};

}  // namespace console

#endif  // STATEKEEPER_CONSOLE_CONSOLE_PAINTER_WINDOWS_H_
