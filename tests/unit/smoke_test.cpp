#include <gtest/gtest.h>

#include "controller/form1.h"
#include "fake_platform.h"

namespace tavrolin {

TEST(Smoke, FreshStartWritesTheDefaultFile) {
  fakes::FakePlatform fake;
  Form1 form(fake.platform);
  form.Form_Load();
  EXPECT_EQ(fake.files.text(fake.configPath()).size(), 203U);
  EXPECT_EQ(form.Timer4->interval(), 30000U);
  EXPECT_TRUE(form.OnlineAllowed);
  EXPECT_EQ(form.strProfileProcess, "SupremeCommander.exe");
  EXPECT_EQ(fake.log(), "");
}

}  // namespace tavrolin
