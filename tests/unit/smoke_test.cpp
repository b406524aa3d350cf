#include <gtest/gtest.h>

#include "controller/controller.h"
#include "fake_platform.h"

namespace tavrolin {

TEST(Smoke, FreshStartWritesTheDefaultFile) {
  fakes::FakePlatform fake;
  Controller controller(fake.platform);
  controller.start();
  EXPECT_EQ(fake.files.text(fake.configPath()).size(), 203U);
  EXPECT_EQ(controller.delayTimer().interval(), 30000U);
  EXPECT_TRUE(controller.onlineAllowed());
  EXPECT_EQ(controller.watchedImage(), "SupremeCommander.exe");
  EXPECT_EQ(fake.log(), "");
}

}  // namespace tavrolin
