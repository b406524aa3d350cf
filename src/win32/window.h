#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/handler.h"

namespace tavrolin::win32 {

// A registered window class for Window objects. Unregistered when it goes.
class WindowClass {
 public:
  struct Look {
    HICON icon = nullptr;       // title bar and task switcher
    HICON smallIcon = nullptr;  // caption and notification area
    HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    HCURSOR cursor = ::LoadCursorA(nullptr, IDC_ARROW);
  };
  WindowClass(HINSTANCE instance, std::string name, const Look& look);
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;
  ~WindowClass();

  const char* name() const { return name_.c_str(); }
  HINSTANCE instance() const { return instance_; }
  bool registered() const { return atom_ != 0; }

 private:
  HINSTANCE instance_;
  std::string name_;
  ATOM atom_ = 0;
};

// The base of all our windows. One static window procedure finds the object
// through the window's user data (set on WM_NCCREATE, cleared on WM_NCDESTROY)
// and hands it each message; a derived window answers in a plain switch in
// onMessage() and passes the rest to defaultProcedure().
//
// "Loaded" means the system's window exists. The program keeps a list of its
// loaded windows in load order; unloading the main window walks it.
//
// A new window: derive from Window, load it with create() (from its show, for
// a window made on first use), answer its messages in onMessage() with each
// handler inside guarded() (given the log with setEventLog()), and override
// unload() when it has unload handling of its own (the Controller's shutdown
// calls it). A dialog-like window turns on setDialogNavigation(). winmain.cpp
// connects the tray menu's commands.
class Window {
 public:
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  HWND hwnd() const { return hwnd_; }
  bool loaded() const { return hwnd_ != nullptr; }

  // Unloads the window (destroys the system's window; the object stays and can
  // be loaded again). Windows with unload handling of their own override this.
  virtual void unload();

  // Every loaded window, in load order.
  static std::vector<Window*> loadedWindows();
  static bool isLoaded(const Window* window);

  // For the message loop: lets windows with keyboard navigation take their
  // keys. True when the message was taken.
  static bool preTranslate(MSG& message);

 protected:
  Window() = default;

  struct Placement {
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD exStyle = 0;
    int x = CW_USEDEFAULT;
    int y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT;
    int height = CW_USEDEFAULT;
    HWND owner = nullptr;
  };
  // Loads the window. False when the system refuses, with its last error.
  bool create(const WindowClass& windowClass, const char* caption, const Placement& placement);

  virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  LRESULT defaultProcedure(UINT message, WPARAM wParam, LPARAM lParam);

  // Dialog-style keyboard navigation (Tab, arrows, Enter) for this window.
  void setDialogNavigation(bool on) { dialogNavigation_ = on; }

  // Runs one event handler under GuardEvent: a failure that no local handler
  // took is reported as a failure of the event and the program goes on.
  template <typename Body>
  void guarded(std::string_view eventName, Body&& body) {
    if (eventLog_ != nullptr) {
      GuardEvent(*eventLog_, eventName, std::forward<Body>(body));
    } else {
      std::forward<Body>(body)();
    }
  }
  void setEventLog(ErrorLog& log) { eventLog_ = &log; }

 private:
  friend class WindowClass;
  static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void detach();

  HWND hwnd_ = nullptr;
  bool dialogNavigation_ = false;
  ErrorLog* eventLog_ = nullptr;
};

// Runs the program's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace tavrolin::win32
