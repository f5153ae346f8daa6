// The load of both programs through real files: defaults, repairs, the
// service's event-log entries and the dialog's silence, and the dialog's
// writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/settings_load.h"
#include "dialog/dialog_ini.h"
#include "doubles/recording_event_log.h"
#include "service/service_ini.h"
#include "service/service_texts.h"
#include "support/temp_dir.h"

namespace {

const std::vector<std::string> kNoEntries;

class SettingsFile : public ::testing::Test {
 protected:
  // The service's load of a file with these lines; the dialog's load of the
  // same file must give the same values and report nothing.
  ServerSettings Load(const char* contents) {
    if (contents != nullptr) dir.Write("veltactl.ini", contents);
    ServerSettings serviceSide;
    ReloadIniToFastConfig(path, serviceSide, eventLog);
    ServerSettings dialogSide;
    LoadIniSettings(path, dialogSide);
    EXPECT_EQ(dialogSide.Limiting, serviceSide.Limiting);
    EXPECT_EQ(dialogSide.Lines, serviceSide.Lines);
    EXPECT_EQ(dialogSide.Port, serviceSide.Port);
    EXPECT_EQ(dialogSide.StartType, serviceSide.StartType);
    return serviceSide;
  }

  TempDir dir;
  std::string path = dir.Path("veltactl.ini");
  TRecordingEventLog eventLog;
};

}  // namespace

TEST_F(SettingsFile, NoFileGivesTheDefaults) {
  ServerSettings s = Load(nullptr);
  EXPECT_EQ(s.Limiting, "1");
  EXPECT_EQ(s.Lines, "500");
  EXPECT_EQ(s.Port, "11059");
  EXPECT_EQ(s.StartType, "0");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(SettingsFile, FlagsOtherThanOneOrZeroAreRepairedSilently) {
  EXPECT_EQ(Load("[Log]\r\nLimiting=yes\r\n").Limiting, "1");
  EXPECT_EQ(Load("[Server]\r\nStartType=2\r\n").StartType, "0");
  EXPECT_EQ(Load("[Server]\r\nStartType=01\r\n").StartType, "0");
  EXPECT_EQ(Load("[Server]\r\nStartType= 1 \r\n").StartType, "1");
  EXPECT_EQ(Load("[Log]\r\nLimiting=0\r\n").Limiting, "0");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(SettingsFile, NumbersOutOfRangeAreRepairedSilently) {
  EXPECT_EQ(Load("[Log]\r\nLines=0\r\n").Lines, "500");
  EXPECT_EQ(Load("[Log]\r\nLines=32769\r\n").Lines, "500");
  EXPECT_EQ(Load("[Log]\r\nLines=32768\r\n").Lines, "32768");
  EXPECT_EQ(Load("[Connections]\r\nPort=65535\r\n").Port, "11059");
  EXPECT_EQ(Load("[Log]\r\nLines=-5\r\n").Lines, "500");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(SettingsFile, AValidNumberKeepsItsWrittenForm) {
  EXPECT_EQ(Load("[Connections]\r\nPort=0500\r\n").Port, "0500");
  EXPECT_EQ(Load("[Log]\r\nLines=+20\r\n").Lines, "+20");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(SettingsFile, AnUnreadableLinesValueIsRepairedAndReportedByTheServiceOnly) {
  EXPECT_EQ(Load("[Log]\r\nLines=abc\r\n").Lines, "500");
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kEventConfigLinesUnreadable});
  eventLog.Entries.clear();
  EXPECT_EQ(Load("[Log]\r\nLines=\r\n").Lines, "500");
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kEventConfigLinesUnreadable});
  eventLog.Entries.clear();
  EXPECT_EQ(Load("[Log]\r\nLines=99999999999\r\n").Lines, "500");
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kEventConfigLinesUnreadable});
}

TEST_F(SettingsFile, BothNumbersUnreadableGiveTwoEntriesLinesFirst) {
  ServerSettings s = Load("[Connections]\r\nPort=x1\r\n[Log]\r\nLines=1.0\r\n");
  EXPECT_EQ(s.Lines, "500");
  EXPECT_EQ(s.Port, "11059");
  EXPECT_EQ(eventLog.Entries,
            (std::vector<std::string>{kEventConfigLinesUnreadable, kEventConfigPortUnreadable}));
}

TEST_F(SettingsFile, AnUnreadableFileIsReportedAndKeepsThePreviousValues) {
  dir.MakeDirectory("veltactl.ini");
  ServerSettings s{"0", "42", "0500", "1"};
  ReloadIniToFastConfig(path, s, eventLog);
  EXPECT_EQ(s.Limiting, "0");
  EXPECT_EQ(s.Lines, "42");
  EXPECT_EQ(s.Port, "0500");
  EXPECT_EQ(s.StartType, "1");
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kEventConfigFileUnreadable});

  ServerSettings first;
  ReloadIniToFastConfig(path, first, eventLog);
  EXPECT_EQ(first.Port, "");

  ServerSettings dialogSide{"0", "42", "0500", "1"};
  LoadIniSettings(path, dialogSide);
  EXPECT_EQ(dialogSide.Lines, "42");
  EXPECT_EQ(eventLog.Entries.size(), 2u);
}

TEST_F(SettingsFile, TheDialogCreatesAMissingFileWithTheDefaultsInOrder) {
  ServerSettings s;
  LoadIniSettings(path, s);
  SaveIniSettings(path, s);
  std::string expected = "[Log]\r\nLimiting=1\r\nLines=500\r\n[Connections]\r\nPort=11059\r\n[Server]\r\nStartType=0\r\n";
  EXPECT_EQ(dir.Read("veltactl.ini"), expected);
}

TEST_F(SettingsFile, TheDialogWritesBackRepairedValuesInPlace) {
  dir.Write("veltactl.ini", "[Server]\r\nStartType=7\r\n[Log]\r\nLines=0500\r\nLimiting=maybe\r\n");
  ServerSettings s;
  LoadIniSettings(path, s);
  SaveIniSettings(path, s);
  EXPECT_EQ(dir.Read("veltactl.ini"),
            "[Server]\r\nStartType=0\r\n[Log]\r\nLines=0500\r\nLimiting=1\r\n[Connections]\r\nPort=11059\r\n");
}

TEST_F(SettingsFile, ASingleWriteChangesOnlyItsLine) {
  const std::string before = "[Log]\r\nLimiting=1\r\nLines=500\r\n[Connections]\r\nPort=11059\r\n[Server]\r\nStartType=0\r\n";
  dir.Write("veltactl.ini", before);
  WriteIniValue(path, "Connections", "Port", "4000");
  std::string expected = before;
  expected.replace(expected.find("Port=11059"), 10, "Port=4000");
  EXPECT_EQ(dir.Read("veltactl.ini"), expected);
}

TEST_F(SettingsFile, WritesIntoAnUnwritableDirectoryFailSilently) {
  std::string unwritable = dir.Path("absent/veltactl.ini");
  EXPECT_NO_THROW(WriteIniValue(unwritable, "Server", "StartType", "1"));
  ServerSettings s{"1", "500", "11059", "0"};
  EXPECT_NO_THROW(SaveIniSettings(unwritable, s));
  EXPECT_EQ(dir.Read("absent/veltactl.ini"), "<missing>");
}
