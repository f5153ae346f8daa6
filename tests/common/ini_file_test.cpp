// One table of INI cases, run against the POSIX reader and writer natively
// and against the Windows private-profile functions under Wine. Where Wine's
// functions do not keep the system's own rule, the case says so and gives
// what Wine does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ini_file.h"
#include "support/temp_dir.h"

namespace {

#ifdef _WIN32
constexpr bool kPrivateProfile = true;
#else
constexpr bool kPrivateProfile = false;
#endif

struct ReadCase {
  const char* Name;
  const char* File;  // nullptr: no file
  const char* Section;
  const char* Key;
  const char* Expected;
  // What the private-profile functions give where they differ; nullptr when
  // they agree.
  const char* ExpectedByPrivateProfile;
};

const ReadCase kReads[] = {
    {"missing file gives the default", nullptr, "Log", "Lines", "dflt", nullptr},
    {"missing section gives the default", "[Server]\r\nStartType=1\r\n", "Log", "Lines", "dflt", nullptr},
    {"missing key gives the default", "[Log]\r\nLimiting=0\r\n", "Log", "Lines", "dflt", nullptr},
    {"an empty value is the empty text", "[Log]\r\nLines=\r\n", "Log", "Lines", "", nullptr},
    {"blanks around names and values go", "[ Log ]\r\n  Lines  =  250  \r\n", "Log", "Lines", "250", nullptr},
    {"names match without regard to case", "[LOG]\r\nlines=7\r\n", "log", "LINES", "7", nullptr},
    {"the value is everything after the first equals sign", "[Log]\r\nLines=a=b\r\n", "Log", "Lines", "a=b",
     nullptr},
    {"lines may end with LF alone", "[Log]\nLines=12\n[Server]\nStartType=1\n", "Server", "StartType", "1",
     nullptr},
    {"the first of duplicate keys wins", "[Log]\r\nLines=1\r\nLines=2\r\n", "Log", "Lines", "1", nullptr},
    {"a key of another section is not found", "[Log]\r\nPort=1\r\n[Connections]\r\n", "Connections", "Port",
     "dflt", nullptr},
    {"a value inside double quotes keeps them", "[Log]\r\nLines=\"30\"\r\n", "Log", "Lines", "\"30\"", "30"},
    {"a value inside single quotes keeps them", "[Log]\r\nLines='30'\r\n", "Log", "Lines", "'30'", "30"},
    {"no inline comments", "[Log]\r\nLines=30 ; note\r\n", "Log", "Lines", "30 ; note", nullptr},
    {"a commented key does not count", "[Log]\r\n;Lines=30\r\n", "Log", "Lines", "dflt", nullptr},
    {"an empty file gives the default", "", "Log", "Lines", "dflt", nullptr},
};

struct WriteCase {
  const char* Name;
  const char* File;  // nullptr: no file
  const char* Section;
  const char* Key;
  const char* Value;
  const char* Expected;
  const char* ExpectedByPrivateProfile;
};

const WriteCase kWrites[] = {
    {"a missing file is created", nullptr, "Log", "Lines", "500", "[Log]\r\nLines=500\r\n", nullptr},
    {"a key is replaced in place and the other lines stay",
     "; settings\r\n[Log]\r\nLimiting = 1\r\nLines=500\r\nExtra=x\r\n", "Log", "Lines", "100",
     "; settings\r\n[Log]\r\nLimiting = 1\r\nLines=100\r\nExtra=x\r\n",
     // Wine rewrites every key line without blanks.
     "; settings\r\n[Log]\r\nLimiting=1\r\nLines=100\r\nExtra=x\r\n"},
    {"a new key goes to the end of its section", "[Log]\r\nLimiting=1\r\n\r\n[Server]\r\nStartType=0\r\n", "Log",
     "Lines", "500", "[Log]\r\nLimiting=1\r\nLines=500\r\n\r\n[Server]\r\nStartType=0\r\n",
     // Wine drops blank lines between sections.
     "[Log]\r\nLimiting=1\r\nLines=500\r\n[Server]\r\nStartType=0\r\n"},
    {"a new section goes to the end of the file", "[Log]\r\nLines=500\r\n", "Server", "StartType", "1",
     "[Log]\r\nLines=500\r\n[Server]\r\nStartType=1\r\n", nullptr},
    {"a key is matched without regard to case and keeps its written name", "[log]\r\nLINES = 500\r\n", "Log",
     "Lines", "9", "[log]\r\nLINES=9\r\n", nullptr},
    {"LF line ends become CRLF", "[Log]\nLines=500\n", "Log", "Lines", "9", "[Log]\r\nLines=9\r\n", nullptr},
};

}  // namespace

TEST(IniRead, FollowsTheRulesOfPrivateProfileFiles) {
  for (const ReadCase& c : kReads) {
    TempDir dir;
    if (c.File != nullptr) dir.Write("t.ini", c.File);
    TIniFile ini(dir.Path("t.ini"));
    const char* expected = kPrivateProfile && c.ExpectedByPrivateProfile ? c.ExpectedByPrivateProfile : c.Expected;
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "dflt"), expected) << c.Name;
  }
}

TEST(IniWrite, ChangesOnlyWhatItWrites) {
  for (const WriteCase& c : kWrites) {
    TempDir dir;
    if (c.File != nullptr) dir.Write("t.ini", c.File);
    TIniFile ini(dir.Path("t.ini"));
    ini.WriteString(c.Section, c.Key, c.Value);
    const char* expected = kPrivateProfile && c.ExpectedByPrivateProfile ? c.ExpectedByPrivateProfile : c.Expected;
    EXPECT_EQ(dir.Read("t.ini"), expected) << c.Name;
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "dflt"), c.Value) << c.Name;
  }
}

TEST(IniFailures, AFileThatCannotBeReadIsAFailureNotAMissingFile) {
  TempDir dir;
  dir.MakeDirectory("t.ini");
  EXPECT_THROW(TIniFile(dir.Path("t.ini")).ReadString("Log", "Lines", "dflt"), EIniFileException);
}

TEST(IniFailures, AWriteIntoAMissingDirectoryFails) {
  TempDir dir;
  EXPECT_THROW(TIniFile(dir.Path("absent/t.ini")).WriteString("Log", "Lines", "1"), EIniFileException);
  EXPECT_EQ(dir.Read("absent/t.ini"), "<missing>");
}
