#include <gtest/gtest.h>

#include "common/program_paths.h"
#include "common/str_to_int.h"
#include "dialog/dialog_ini.h"
#include "service/service_ini.h"

TEST(ProgramPaths, TheServiceLooksBesideItsExecutableAndTheDialogUnderItsOwnName) {
  std::string exe = ParamStr0();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(ServiceIniPath(), ExtractFilePath(exe) + "veltactl.ini");
  EXPECT_EQ(DialogIniPath(), ChangeFileExt(exe, ".ini"));
}

TEST(ProgramPaths, ExtensionsAndDirectories) {
  EXPECT_EQ(ChangeFileExt("/opt/velta/veltactl", ".ini"), "/opt/velta/veltactl.ini");
  EXPECT_EQ(ChangeFileExt("/opt/v.1/veltactl", ".ini"), "/opt/v.1/veltactl.ini");
  EXPECT_EQ(ChangeFileExt("/opt/velta/admin.tool.exe", ".ini"), "/opt/velta/admin.tool.ini");
  EXPECT_EQ(ExtractFilePath("/opt/velta/veltad"), "/opt/velta/");
  EXPECT_EQ(ExtractFilePath("veltad"), "");
#ifdef _WIN32
  EXPECT_EQ(ChangeFileExt("C:\\Program Files\\Velta\\veltactl.exe", ".ini"), "C:\\Program Files\\Velta\\veltactl.ini");
  EXPECT_EQ(ExtractFilePath("C:\\Velta.d\\veltad.exe"), "C:\\Velta.d\\");
  EXPECT_EQ(ExtractFilePath("C:veltad.exe"), "C:");
#endif
}

TEST(StrToInt, DigitsWithAtMostOneSign) {
  int v = 0;
  EXPECT_TRUE(TryStrToInt("0500", v));
  EXPECT_EQ(v, 500);
  EXPECT_TRUE(TryStrToInt("-7", v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(TryStrToInt("+7", v));
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  EXPECT_EQ(v, 2147483647);
  EXPECT_TRUE(TryStrToInt("-2147483648", v));
  for (const char* bad : {"", "+", "-", "abc", "1.0", "1 2", "0x10", "$10", "--1", "2147483648", "99999999999999999999"}) {
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
  }
}
