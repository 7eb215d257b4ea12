// Failure reports: the step line, then the system's text for the code.
#include <gtest/gtest.h>

#include "driver/report.h"
#include "fake/fake_platform.h"
#include "unit/stderr_capture.h"

namespace {

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    Fake().messages[ERROR_SUCCESS] = "The operation completed successfully.\r\n";
    Fake().messages[ERROR_ACCESS_DENIED] = "Access is denied.\r\n";
    Fake().messages[ERROR_NO_SUCH_PRIVILEGE] = "A specified privilege does not exist.\r\n";
  }
  void TearDown() override { ResetFake(); }
};

struct ReportCase {
  const char* name;
  bool lsaStatus;  // the value is an LSA status, reported through ReportLsaError
  uint32_t value;
  const char* step;
  LANGID userLanguage;
  DWORD formattedCode;
  const char* expected;
};

TEST_F(ReportTest, WritesStepLineThenSystemText) {
  const ReportCase cases[] = {
      {"code with text", false, 5, "OpenPolicy", 0x0409, 5, "OpenPolicy error!\nAccess is denied.\r\n"},
      {"code zero", false, 0, "GetAccountSid", 0x0409, 0,
       "GetAccountSid error!\nThe operation completed successfully.\r\n"},
      {"code without text", false, 1332, "GetAccountSid", 0x0409, 1332, "GetAccountSid error!\n"},
      {"user language passed on", false, 5, "OpenPolicy", 0x0407, 5,
       "OpenPolicy error!\nAccess is denied.\r\n"},
      {"status converted first", true, 0xC0000060, "AddUserRightToAccount", 0x0409, 1313,
       "AddUserRightToAccount error!\nA specified privilege does not exist.\r\n"},
      {"status without code", true, 0xC0000999, "AddUserRightToAccount", 0x0409, 317,
       "AddUserRightToAccount error!\n"},
  };
  for (const ReportCase& row : cases) {
    SetUp();
    Fake().userLanguage = row.userLanguage;
    StderrCapture capture;
    if (row.lsaStatus) {
      ReportLsaError(static_cast<NTSTATUS>(row.value), row.step);
    } else {
      ReportError(row.value, row.step);
    }
    EXPECT_EQ(row.expected, capture.Finish()) << row.name;
    ASSERT_EQ(1u, Fake().formattedCodes.size()) << row.name;
    EXPECT_EQ(row.formattedCode, Fake().formattedCodes[0]) << row.name;
    EXPECT_EQ(0, Fake().liveTexts) << row.name;
    bool hadText = Fake().messages.count(row.formattedCode) != 0;
    EXPECT_EQ(hadText ? 1 : 0, CountCalls("WriteFile")) << row.name;
    EXPECT_EQ(hadText ? 1 : 0, CountCalls("LocalFree")) << row.name;
  }
}

// A write that fails is not reported in turn, and the text is still released.
TEST_F(ReportTest, FailedWriteStillReleasesTheText) {
  Fake().failure = {"WriteFile", 1, 0};
  StderrCapture capture;
  ReportError(ERROR_ACCESS_DENIED, "OpenPolicy");
  EXPECT_EQ("OpenPolicy error!\n", capture.Finish());
  EXPECT_EQ(1, CountCalls("WriteFile"));
  EXPECT_EQ(1, CountCalls("LocalFree"));
  EXPECT_EQ(0, Fake().liveTexts);
}

}  // namespace
