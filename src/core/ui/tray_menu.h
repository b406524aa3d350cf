#pragma once

// The tray icon's record values, the popup menu and the decoding of the icon's
// mouse notifications: everything about the tray that needs no window.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace tavrolin::ui {

// The notification record's fixed values.
inline constexpr std::uint32_t kTrayIconId = 1;
inline constexpr std::uint32_t kTrayFlags = 7;  // message + icon + tip
// The icon's notifications arrive as mouse-move messages of the main window.
inline constexpr std::uint32_t kTrayCallbackMessage = 512;
inline constexpr std::string_view kTrayTip = " Tavrolin ";
inline constexpr std::size_t kTipFieldSize = 64;

// The tip field: the text and one NUL, left-aligned, the rest spaces. A longer
// text is cut to the field.
constexpr std::array<char, kTipFieldSize> TipField(std::string_view text) {
  std::array<char, kTipFieldSize> field{};
  for (char& c : field) c = ' ';
  std::size_t i = 0;
  for (; i < text.size() && i < field.size(); ++i) field[i] = text[i];
  if (i < field.size()) field[i] = '\0';
  return field;
}

// The mouse messages that open the menu: a button released over the icon.
inline constexpr std::int32_t kLeftButtonUp = 514;
inline constexpr std::int32_t kRightButtonUp = 517;

// Screen coordinates in twips: 1440 to the inch.
constexpr float TwipsPerPixel(int dotsPerInch) {
  return dotsPerInch > 0 ? 1440.0F / static_cast<float>(dotsPerInch) : 15.0F;
}

// A mouse-move event's X in twips, from the message's pixel coordinate.
constexpr float XInTwips(int pixelX, float twipsPerPixel) {
  return static_cast<float>(pixelX) * twipsPerPixel;
}

// The mouse message a notification carries: X back in pixels, rounded to the
// nearest integer, halves to the even one. 0 for what no message can be.
inline std::int32_t MouseMessageFromX(float x, float twipsPerPixel) {
  const float pixels = std::nearbyint(x / twipsPerPixel);
  if (!(pixels >= static_cast<float>(std::numeric_limits<std::int32_t>::min()) &&
        pixels < static_cast<float>(std::numeric_limits<std::int32_t>::max()))) {
    return 0;
  }
  return static_cast<std::int32_t>(pixels);
}

constexpr bool OpensPopupMenu(std::int32_t mouseMessage) {
  return mouseMessage == kLeftButtonUp || mouseMessage == kRightButtonUp;
}

// The popup menu's commands, numbered as menu item identifiers.
enum class TrayCommand : std::uint16_t { kNone = 0, kClose = 101, kOptions, kInfo, kExit };

// What ErrorLog.txt calls the commands' events ("Error occurred in
// mnuExit_Click"): the names users' logs have always shown.
inline constexpr std::string_view kOptionsCommandLogName = "mnuOptions_Click";
inline constexpr std::string_view kInfoCommandLogName = "mnuInfo_Click";
inline constexpr std::string_view kExitCommandLogName = "mnuExit_Click";

struct MenuItem {
  std::string_view caption;  // "-" is a separator
  TrayCommand command;
  std::string_view logName;  // empty where the item runs nothing
  constexpr bool separator() const { return caption == "-"; }
};

// The menu that holds the popup menu; never shown itself.
inline constexpr std::string_view kPopupMenuCaption = "mnuPopMenu";

// In menu order; the leading spaces belong to the captions.
inline constexpr std::array<MenuItem, 6> kPopupMenuItems{{
    {"Close Menu", TrayCommand::kClose, ""},
    {"-", TrayCommand::kNone, ""},
    {"   Options", TrayCommand::kOptions, kOptionsCommandLogName},
    {"      Info", TrayCommand::kInfo, kInfoCommandLogName},
    {"-", TrayCommand::kNone, ""},
    {"    Exit", TrayCommand::kExit, kExitCommandLogName},
}};

// The name under which a command's errors are logged: the menu item's own, so
// that the table above is what ErrorLog.txt shows. Empty for commands that run
// nothing.
constexpr std::string_view CommandLogName(TrayCommand command) {
  for (const MenuItem& item : kPopupMenuItems) {
    if (item.command == command) return item.logName;
  }
  return {};
}

// Shown in bold; the item the menu's default action picks.
inline constexpr TrayCommand kDefaultMenuCommand = TrayCommand::kExit;

}  // namespace tavrolin::ui
