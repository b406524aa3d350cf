#pragma once

namespace tavrolin {

// The icon in the notification area. Results are not used by the caller.
class TrayIcon {
 public:
  virtual ~TrayIcon() = default;
  virtual void add() = 0;
  virtual void remove() = 0;
};

}  // namespace tavrolin
