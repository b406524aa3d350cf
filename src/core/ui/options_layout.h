#pragma once

#include <vector>

#include "platform/options_window.h"

namespace tavrolin {

// The options dialog at design time, in twips.
inline constexpr int kFrameWidth = 3735;
inline constexpr int kFrameHeight = 2055;
inline constexpr int kDialogOuterWidth = 4305;
inline constexpr int kDialogClientHeight = 4005;

// Where the processor boxes go and how large the frame and the dialog become.
struct OptionsLayout {
  std::vector<BoxPlacement> boxes;  // box i at [i - 1]
  int frameWidth = kFrameWidth;
  int frameHeight = kFrameHeight;
  int dialogOuterWidth = kDialogOuterWidth;
  int dialogClientHeight = kDialogClientHeight;
};

// Up to 32 boxes stand in columns of four, 1240 twips apart, at most eight
// columns, and from 13 boxes on the frame and dialog follow the last column.
// More boxes would fall below the frame, so then the eight columns grow
// downward instead, and the frame and dialog grow with them.
OptionsLayout ProcessorBoxLayout(int boxes);

}  // namespace tavrolin
