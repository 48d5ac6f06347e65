#pragma once

#include <QColor>
#include <QRect>

// Where the main window's controls sit on the skin (IDB_SKIN) and the colours of its faces: the
// window places and paints its controls by these, the artwork sheet draws them and the tests
// compare with them. The skin's panels (tools/gen_bitmaps.py) are painted to match.
namespace SkinLayout
{

inline constexpr QRect kClose{246, 5, 15, 15};
inline constexpr QRect kAbout{228, 5, 15, 15};
inline constexpr QRect kMinimize{210, 5, 15, 15};
inline constexpr QRect kAnalogClock{27, 34, 45, 45};
inline constexpr QRect kDigitalClock{104, 36, 144, 42};
inline constexpr QRect kLog{23, 91, 221, 94};
inline constexpr QRect kLogFrame{17, 83, 234, 109};
inline constexpr QRect kGet{165, 200, 40, 22};
inline constexpr QRect kSet{210, 200, 40, 22};
// The selector's own height; its dropped list takes at most kDropHeight with it.
inline constexpr QRect kServer{17, 200, 141, 21};
inline constexpr int kDropHeight = 300;

// Behind the log pane, the digital clock, the selector and the analogue clock's face.
inline constexpr QColor kFace{192, 192, 192};
// The text on those faces.
inline constexpr QColor kText{0, 0, 50};

} // namespace SkinLayout
