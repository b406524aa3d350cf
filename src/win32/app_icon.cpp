#include "app_icon.h"

#include "res/resource.h"

namespace tavrolin::win32 {

namespace {

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  return static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVROLIN), IMAGE_ICON,
                                         ::GetSystemMetrics(widthMetric),
                                         ::GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

}  // namespace

AppIcon::AppIcon(HINSTANCE instance)
    : large_(LoadAppIcon(instance, SM_CXICON, SM_CYICON)),
      small_(LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON)) {}

}  // namespace tavrolin::win32
