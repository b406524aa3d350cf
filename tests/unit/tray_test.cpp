// The tray's window-free logic: decoding the icon's notifications and the tip
// field. The popup menu is checked as the user gets it, in the Windows tests.
#include <gtest/gtest.h>

#include <string>

#include "ui/tray_menu.h"

namespace tavrolin::ui {
namespace {

// The notification as the toolkit delivers it: the mouse message as a pixel
// X, in twips.
std::int32_t Decode(int mouseMessage, int dotsPerInch = 96) {
  const float perPixel = TwipsPerPixel(dotsPerInch);
  return MouseMessageFromX(XInTwips(mouseMessage, perPixel), perPixel);
}

TEST(TrayCallback, EveryMouseMessageSurvivesTheTripThroughTwips) {
  for (const int dpi : {96, 120, 144, 168, 192, 240}) {
    for (int message = 0x200; message <= 0x20E; ++message) {
      EXPECT_EQ(Decode(message, dpi), message) << "at " << dpi << " dpi";
    }
  }
}

TEST(TrayCallback, OnlyAReleasedLeftOrRightButtonOpensTheMenu) {
  EXPECT_TRUE(OpensPopupMenu(Decode(514)));  // left button up
  EXPECT_TRUE(OpensPopupMenu(Decode(517)));  // right button up
  for (const int other : {512, 513, 515, 516, 518, 519, 520, 521, 0}) {
    EXPECT_FALSE(OpensPopupMenu(Decode(other))) << other;
  }
}

// The X a notification carries, in twips, back to a message: halves round to
// the even neighbour, and what no message can be decodes to nothing.
TEST(TrayCallback, TwipsBackToAMessage) {
  struct Row {
    float x, perPixel;
    std::int32_t message;
  };
  // clang-format off
  const Row rows[] = {
      {514.5F * 15, 15, 514}, {515.5F * 15, 15, 516}, {516.5F * 15, 15, 516}, {517.5F * 15, 15, 518},
      {0.5F * 15, 15, 0}, {-1.5F * 15, 15, -2}, {514.51F * 15, 15, 515}, {516.49F * 15, 15, 516},
      {1e20F, 15, 0}, {-1e20F, 15, 0}, {7755, 0, 0}};  // the last: no resolution, infinity
  // clang-format on
  for (const Row& row : rows)
    EXPECT_EQ(MouseMessageFromX(row.x, row.perPixel), row.message) << row.x;
  EXPECT_EQ(TwipsPerPixel(96), 15.0F);
  EXPECT_EQ(TwipsPerPixel(120), 12.0F);
  EXPECT_EQ(TwipsPerPixel(0), 15.0F);  // unknown: the usual screen
}

// The tip field: the text, one NUL, then spaces; a longer text cut to the field.
TEST(TrayTip, TextThenOneNulThenSpacesOrCutToTheField) {
  const auto field = TipField(kTrayTip);
  EXPECT_EQ(std::string(field.begin(), field.end()),
            std::string(" Tavrolin \0", 11) + std::string(53, ' '));
  const auto cut = TipField(std::string(70, 'x'));
  EXPECT_EQ(std::string(cut.begin(), cut.end()), std::string(64, 'x'));
  const auto exact = TipField(std::string(63, 'y'));
  EXPECT_EQ(exact[62], 'y');
  EXPECT_EQ(exact[63], '\0');
}

}  // namespace
}  // namespace tavrolin::ui
