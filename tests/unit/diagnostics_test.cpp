#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include "diagnostics/error_log.h"
#include "diagnostics/handler.h"
#include "fake_platform.h"
#include "report_text.h"

namespace tavrolin {
namespace {

class Diagnostics : public ::testing::Test {
 protected:
  fakes::FakePlatform fake;
  ErrorLog log{fake.environment, fake.files, fake.clock, fake.lastError};
};

// The log lives in the settings directory; each stamp takes the time anew.
TEST_F(Diagnostics, AppendsLinesAndStampsOnRequestInTheSettingsDirectory) {
  fake.environment.directory = "/opt/tavrolin";
  fake.environment.separator = '/';
  log.append("first", true);
  log.append("second", false);
  fake.clock.time = "4:05:10 PM";
  log.append("third", true);
  EXPECT_EQ(fake.files.text("/opt/tavrolin/ErrorLog.txt"),
            "\r\n3/9/2024 4:05:09 PM\r\nfirst\r\nsecond\r\n"
            "\r\n3/9/2024 4:05:10 PM\r\nthird\r\n");
}

TEST_F(Diagnostics, HandlerReportIsWrittenByteForByte) {
  std::string custom = "why it failed";
  Handler handler(log, "Error occurred in GetBitMasks");
  handler.customLine(custom).variables([] {
    return ReportVariables{{"LoopBits =", "-3"}, {"tempStr =", ""}, {"NumRet", "12"}};
  });
  fake.lastError.value = 1722;
  log.recordLastError();
  fake.lastError.value = 5;  // later than the recording: not printed

  handler.report(-2147467259, "Unspecified error");
  EXPECT_EQ(fake.log(),
            "\r\n3/9/2024 4:05:09 PM\r\n"
            "Error occurred in GetBitMasks\r\n"
            "-2147467259  Unspecified error\r\n"
            "DLL Error - 1722\r\n"
            "Custom Error - why it failed\r\n"
            "Variables:LoopBits =-3\r\n"
            "Variables:tempStr =\r\n"
            "Variables:NumRet12\r\n");
  EXPECT_EQ(custom, "");
}

TEST_F(Diagnostics, DirectEntryWritesNumberZeroAndTwoBlanks) {
  std::string custom = "Could Not Get process ID of x.exe";
  int tails = 0;
  Handler handler(log, "Error occurred in SetAffinity");
  handler.customLine(custom).tail([&] { ++tails; });
  handler.directEntry();
  handler.directEntry();
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in SetAffinity", "0  ", "DLL Error - 0",
                                      "Custom Error - Could Not Get process ID of x.exe"}) +
                            test::Report({"Error occurred in SetAffinity", "0  ", "DLL Error - 0",
                                          "Custom Error - "}));
  EXPECT_EQ(tails, 2);
}

TEST_F(Diagnostics, AFailedStatementIsReportedAndTheNextOneRuns) {
  int value = 0;
  Handler handler(log, "Error occurred in Test");
  handler.variables([&] { return ReportVariables{{"value =", std::to_string(value)}}; });

  EXPECT_TRUE(handler.run([&] { value = 1; }));
  EXPECT_FALSE(handler.run([&] {
    value = 2;
    throw Failure(FailureNumber::kTypeMismatch);
  }));
  EXPECT_TRUE(handler.run([&] { value = 3; }));  // armed again
  EXPECT_FALSE(handler.run([] { throw std::bad_alloc(); }));
  EXPECT_FALSE(handler.run([] { throw std::runtime_error("boom"); }));
  EXPECT_EQ(value, 3);
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in Test", "13  Type mismatch",
                                      "DLL Error - 0", "Variables:value =2"}) +
                            test::Report({"Error occurred in Test", "7  Out of memory",
                                          "DLL Error - 0", "Variables:value =3"}) +
                            test::Report({"Error occurred in Test", "1005  boom", "DLL Error - 0",
                                          "Variables:value =3"}));
}

TEST_F(Diagnostics, GuardEventReportsWhatReachesTheTopOfAnEvent) {
  GuardEvent(log, "Timer3_Timer", [] { throw Failure::SystemCall(0x80004005U); });
  GuardEvent(log, "Timer4_Timer", [] {});  // nothing to report
  EXPECT_EQ(fake.log(), test::Report({"Error occurred in Timer3_Timer",
                                      "-2147467259  A system call returned an error code of "
                                      "2147500037",
                                      "DLL Error - 0"}));
}

TEST_F(Diagnostics, AnUnwritableLogDropsLinesAndTheProgramGoesOn) {
  fake.files.readOnly.insert(fake.logPath());
  std::string custom = "text";
  Handler handler(log, "Error occurred in SetAffinity");
  handler.customLine(custom).variables([] { return ReportVariables{{"a =", "1"}, {"b =", "2"}}; });
  EXPECT_FALSE(handler.run([] { throw Failure(FailureNumber::kOverflow); }));
  EXPECT_TRUE(handler.run([] {}));
  EXPECT_FALSE(fake.files.exists(fake.logPath()));
  EXPECT_EQ(log.droppedLines(), 5U);  // name, DLL, custom, two variables
  EXPECT_EQ(custom, "");

  fake.files.readOnly.clear();
  log.append("back", false);
  EXPECT_EQ(fake.log(), "back\r\n");
  EXPECT_EQ(log.droppedLines(), 5U);
}

}  // namespace
}  // namespace tavrolin
