#include "install_exchange.h"

#include <gtest/gtest.h>

#include "setupapi_codes.h"

namespace qelvaro::restore {
namespace {

TEST(InstallExchange, RequestAndOutcomeSurviveTheFile) {
  const InstallRequest request{"C:\\Temp\\s 1\\qv.inf", {"ROOT\\QV", "PCI\\VEN_1&DEV_2"}};
  const auto back = ParseInstallRequest(FormatInstallRequest(request));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->inf, request.inf);
  EXPECT_EQ(back->deviceIds, request.deviceIds);

  const InstallOutcome outcome{DriverStatus::NeedsRestart, 0xE000022F, "line one\r\nline two\r\n", "oem3.inf", 2, 1};
  const auto o = ParseInstallOutcome(FormatInstallOutcome(outcome));
  ASSERT_TRUE(o);
  EXPECT_EQ(o->status, DriverStatus::NeedsRestart);
  EXPECT_EQ(o->code, 0xE000022FUL);
  EXPECT_EQ(o->systemText, "line one line two");
  EXPECT_EQ(o->storedInf, "oem3.inf");
  EXPECT_EQ(o->devicesUpdated, 2);
  EXPECT_EQ(o->devicesKept, 1);
  EXPECT_EQ(InstallExitCode(*o), 3010);
}

TEST(InstallExchange, TruncatedOrForeignTextIsRefused) {
  const std::string whole = FormatInstallOutcome(InstallOutcome{DriverStatus::Installed, 0, "", "a.inf", 1});
  EXPECT_TRUE(ParseInstallOutcome(whole));
  EXPECT_FALSE(ParseInstallOutcome(whole.substr(0, whole.size() - 5)));  // the end line cut off
  EXPECT_FALSE(ParseInstallOutcome("hello\nend\n"));
  EXPECT_FALSE(ParseInstallOutcome("qelvaro-install-outcome 1\nstatus=bogus\nend\n"));
  EXPECT_FALSE(ParseInstallOutcome("qelvaro-install-outcome 1\nstatus=failed\ncode=12x\nend\n"));
  EXPECT_FALSE(ParseInstallRequest("qelvaro-install-request 1\nid=ROOT\\QV\nend\n"));  // no INF
  EXPECT_FALSE(ParseInstallRequest("qelvaro-install-request 1\ninf=a.inf\nrogue\nend\n"));
}

TEST(SetupApiCodes, NamesAndNumbers) {
  EXPECT_EQ(SetupApiErrorName(0xE0000235), "ERROR_IN_WOW64");
  EXPECT_EQ(SetupApiErrorName(0xE000022F), "ERROR_NO_CATALOG_FOR_OEM_INF");
  EXPECT_EQ(SetupApiErrorName(0xE000024B), "ERROR_FILE_HASH_NOT_IN_CATALOG");
  EXPECT_EQ(SetupApiErrorName(5), "");
  EXPECT_TRUE(IsSetupApiError(0xE000020B));
  EXPECT_FALSE(IsSetupApiError(5));
  EXPECT_EQ(SetupApiHresult(0xE000022F), 0x800F022FUL);
  EXPECT_EQ(DescribeInstallError(0xE000020B, "No such device."), "0xE000020B ERROR_NO_SUCH_DEVINST: No such device.");
  EXPECT_EQ(DescribeInstallError(5, ""), "5");
}

}  // namespace
}  // namespace qelvaro::restore
