// The screen's size and the two colour pairs that the main screen and every view share:
// Normal (bright white on blue) and Highlight (yellow on red).
#ifndef STATEKEEPER_VIEWS_SCREEN_H_
#define STATEKEEPER_VIEWS_SCREEN_H_

namespace views {

inline constexpr int kNormalForeground = 15;
inline constexpr int kNormalBackground = 1;
inline constexpr int kHighlightForeground = 14;
inline constexpr int kHighlightBackground = 4;
inline constexpr int kScreenRows = 43;
inline constexpr int kScreenColumns = 66;

}  // namespace views

#endif  // STATEKEEPER_VIEWS_SCREEN_H_
