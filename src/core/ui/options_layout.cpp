#include "ui/options_layout.h"

#include <string>

namespace tavrolin {

namespace {
constexpr int kFirstLeft = 240;
constexpr int kFirstTop = 600;
constexpr int kColumnStep = 1240;
constexpr int kRowStep = 360;
constexpr int kColumns = 8;
constexpr int kRowsAtDesign = 4;

std::string Caption(int box) {
  return "CPU " + std::to_string(box - 1);
}
}  // namespace

OptionsLayout ProcessorBoxLayout(int boxes) {
  OptionsLayout layout;
  if (boxes <= kColumns * kRowsAtDesign) {
    int column = kFirstLeft;
    int row = kFirstTop;
    for (int box = 1; box <= boxes; ++box) {
      if (box >= 5 && box <= 29 && box % 4 == 1) {
        column += kColumnStep;
        row = kFirstTop;
      }
      layout.boxes.push_back({column, row, 855, 195, Caption(box)});
      row += kRowStep;
      if (box >= 13) {
        layout.frameWidth = column + 1000;
        layout.dialogOuterWidth = column - 2800 + kDialogOuterWidth;
      }
    }
    return layout;
  }

  const int rows = (boxes + kColumns - 1) / kColumns;
  for (int box = 1; box <= boxes; ++box) {
    const int column = (box - 1) / rows;
    const int row = (box - 1) % rows;
    layout.boxes.push_back(
        {kFirstLeft + column * kColumnStep, kFirstTop + row * kRowStep, 855, 195, Caption(box)});
  }
  const int lastColumn = kFirstLeft + (kColumns - 1) * kColumnStep;
  const int extraHeight = (rows - kRowsAtDesign) * kRowStep;
  layout.frameWidth = lastColumn + 1000;
  layout.dialogOuterWidth = lastColumn - 2800 + kDialogOuterWidth;
  layout.frameHeight = kFrameHeight + extraHeight;
  layout.dialogClientHeight = kDialogClientHeight + extraHeight;
  return layout;
}

}  // namespace tavrolin
