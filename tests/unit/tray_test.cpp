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

TEST(TrayCallback, HalvesRoundToTheEvenNeighbour) {
  EXPECT_EQ(MouseMessageFromX(514.5F * 15.0F, 15.0F), 514);
  EXPECT_EQ(MouseMessageFromX(515.5F * 15.0F, 15.0F), 516);
  EXPECT_EQ(MouseMessageFromX(516.5F * 15.0F, 15.0F), 516);
  EXPECT_EQ(MouseMessageFromX(517.5F * 15.0F, 15.0F), 518);
  EXPECT_EQ(MouseMessageFromX(0.5F * 15.0F, 15.0F), 0);
  EXPECT_EQ(MouseMessageFromX(-1.5F * 15.0F, 15.0F), -2);
  // Just off the half, the nearer one wins.
  EXPECT_EQ(MouseMessageFromX(514.51F * 15.0F, 15.0F), 515);
  EXPECT_EQ(MouseMessageFromX(516.49F * 15.0F, 15.0F), 516);
}

TEST(TrayCallback, WhatNoMessageCanBeDecodesToNothing) {
  EXPECT_EQ(MouseMessageFromX(1e20F, 15.0F), 0);
  EXPECT_EQ(MouseMessageFromX(-1e20F, 15.0F), 0);
  EXPECT_EQ(MouseMessageFromX(7755.0F, 0.0F), 0);  // no resolution: infinity
}

TEST(TrayCallback, TwipsPerPixelFollowsTheScreen) {
  EXPECT_EQ(TwipsPerPixel(96), 15.0F);
  EXPECT_EQ(TwipsPerPixel(120), 12.0F);
  EXPECT_EQ(TwipsPerPixel(0), 15.0F);  // unknown: the usual screen
}

TEST(TrayTip, TextThenOneNulThenSpaces) {
  const auto field = TipField(kTrayTip);
  const std::string text(field.begin(), field.end());
  EXPECT_EQ(text.size(), 64U);
  EXPECT_EQ(text.substr(0, 11), std::string(" Tavrolin \0", 11));
  EXPECT_EQ(text.substr(11), std::string(53, ' '));
}

TEST(TrayTip, ALongTextIsCutToTheField) {
  const std::string longText(70, 'x');
  const auto field = TipField(longText);
  EXPECT_EQ(std::string(field.begin(), field.end()), std::string(64, 'x'));
  const auto exact = TipField(std::string(63, 'y'));
  EXPECT_EQ(exact[62], 'y');
  EXPECT_EQ(exact[63], '\0');
}

}  // namespace
}  // namespace tavrolin::ui
