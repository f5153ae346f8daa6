// The activity log writer through real files: the exact bytes it writes,
// what it carries over from the file before, the cap on the number of
// lines, its event-log entries, and that a failed write never costs the
// old log.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "doubles/recording_event_log.h"
#include "service/activity_log.h"
#include "service/file_replace.h"
#include "service/local_time.h"
#include "support/temp_dir.h"

namespace {

const std::vector<std::string> kNoEntries;
const char kStamp[] = "24-03-2005, 17:05:09";
const char kLoadFailed[] = "veltad.exe : GoSendMessageToLog() > LoadFromFile() > Exception";
const char kDeleteFailed[] = "veltad.exe : GoSendMessageToLog() > Delete(0) > Exception";
const char kSaveFailed[] = "veltad.exe : GoSendMessageToLog() > SaveToFile()";
const char kListFailed[] = "veltad.exe : GoSendMessageToLog() > StringList = new TStringList()";
// "\xE8" ends the escape here; written as one literal it would take the "i"
// with it.
const char kReloaded[] = "Konfiguracije je po zahtevu ponovo u\xE8" "itana.";

// The log cannot be written where it stands either.
bool RewriteRefused(const std::string&, const std::string&) { return false; }

std::string Line(const std::string& text) { return "Velta server : " + std::string(kStamp) + " : " + text + "\r\n"; }

// Lines "old 1" ... "old n", each ended with CR LF.
std::string OldLines(int first, int last) {
  std::string bytes;
  for (int i = first; i <= last; ++i) bytes += "old " + std::to_string(i) + "\r\n";
  return bytes;
}

class ActivityLog : public ::testing::Test {
 protected:
  void Write(const std::string& text, const std::string& limiting = "1", const std::string& lines = "500") {
    WriteActivityLogRecord(path, text, limiting, lines, eventLog, kStamp);
  }

  // Every name in the test's directory: a leftover temporary file shows here.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempDir dir;
  std::string path = dir.Path("veltactl.log");
  TRecordingEventLog eventLog;
};

}  // namespace

TEST_F(ActivityLog, TheFirstRecordCreatesTheFileWithOneLine) {
  Write("Pokrenut.");
  EXPECT_EQ(dir.Read("veltactl.log"), "Velta server : 24-03-2005, 17:05:09 : Pokrenut.\r\n");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, RecordsAreAddedOldestFirstAndCarriedOverByteForByte) {
  Write("Pokrenut.");
  Write(kReloaded);
  Write("Zaustavljen.");
  std::string expected = Line("Pokrenut.") + Line(kReloaded) + Line("Zaustavljen.");
  EXPECT_EQ(dir.Read("veltactl.log"), expected);
  EXPECT_NE(expected.find("u\xE8itana."), std::string::npos);
  EXPECT_EQ(eventLog.Entries, kNoEntries);
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, LinesWrittenByOthersAreKeptAsTheyAre) {
  std::string odd = std::string("\xC8\x8A\x8E\x9A\xFE  trailing blanks  \r\n") + "\r\n" + "a\rb\r\n" +
                    std::string("zero\0byte", 9) + "\r\n";
  dir.Write("veltactl.log", odd);
  Write("Pokrenut.", "0");
  EXPECT_EQ(dir.Read("veltactl.log"), odd + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, AnEmptyFileHoldsNoLines) {
  dir.Write("veltactl.log", "");
  Write("Pokrenut.");
  EXPECT_EQ(dir.Read("veltactl.log"), Line("Pokrenut."));
}

TEST_F(ActivityLog, LinesEndedWithALoneLineFeedAreRead) {
  dir.Write("veltactl.log", "one\ntwo\n");
  Write("Pokrenut.");
  EXPECT_EQ(dir.Read("veltactl.log"), "one\r\ntwo\r\n" + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, ALastLineWithoutLineEndIsRead) {
  dir.Write("veltactl.log", "one\r\ntwo\nthree");
  Write("Pokrenut.");
  EXPECT_EQ(dir.Read("veltactl.log"), "one\r\ntwo\r\nthree\r\n" + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, AtTheCapTheOldestLineGivesWayToTheNewOne) {
  dir.Write("veltactl.log", OldLines(1, 500));
  Write("Pokrenut.", "1", "500");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(2, 500) + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, BelowTheCapNothingIsRemoved) {
  dir.Write("veltactl.log", OldLines(1, 498));
  Write("Pokrenut.", "1", "500");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 498) + Line("Pokrenut."));
  Write("Zaustavljen.", "1", "500");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 498) + Line("Pokrenut.") + Line("Zaustavljen."));
}

TEST_F(ActivityLog, ALoweredCapCutsTheLogDownToTheNewestLines) {
  dir.Write("veltactl.log", OldLines(1, 500));
  Write("Pokrenut.", "1", "100");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(402, 500) + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, ACapOfOneKeepsOnlyTheNewestLine) {
  dir.Write("veltactl.log", OldLines(1, 5));
  Write("Pokrenut.", "1", "1");
  EXPECT_EQ(dir.Read("veltactl.log"), Line("Pokrenut."));
  Write("Zaustavljen.", "1", "1");
  EXPECT_EQ(dir.Read("veltactl.log"), Line("Zaustavljen."));
}

TEST_F(ActivityLog, ACapOfThree) {
  dir.Write("veltactl.log", OldLines(1, 5));
  Write("Pokrenut.", "1", "3");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(4, 5) + Line("Pokrenut."));
}

TEST_F(ActivityLog, TheCapMayHaveLeadingZeros) {
  dir.Write("veltactl.log", OldLines(1, 500));
  Write("Pokrenut.", "1", "0500");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(2, 500) + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, ACapOfZeroLeavesAnEmptyLog) {
  dir.Write("veltactl.log", OldLines(1, 5));
  Write("Pokrenut.", "1", "0");
  EXPECT_EQ(dir.Read("veltactl.log"), "");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, WithTheCapOffLinesAccumulate) {
  dir.Write("veltactl.log", OldLines(1, 500));
  Write("Pokrenut.", "0", "100");
  Write("Zaustavljen.", "0", "100");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 500) + Line("Pokrenut.") + Line("Zaustavljen."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, OnlyALimitingOfExactlyOneTurnsTheCapOn) {
  for (const char* off : {"0", "01", " 1", "1 ", "", "true", "2"}) {
    dir.Write("veltactl.log", OldLines(1, 5));
    Write("Pokrenut.", off, "1");
    EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 5) + Line("Pokrenut.")) << '"' << off << '"';
  }
  // With the cap off, the number is not even looked at.
  Write("Zaustavljen.", "0", "abc");
  EXPECT_EQ(eventLog.Entries, kNoEntries);
}

TEST_F(ActivityLog, AnUnreadableCapIsReportedAndNothingIsWritten) {
  dir.Write("veltactl.log", OldLines(1, 5));
  Write("Pokrenut.", "1", "abc");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 5));
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kListFailed});
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, AnUnreadableCapCreatesNoFile) {
  for (const char* bad : {"abc", "", "1.5", "99999999999"}) {
    eventLog.Entries.clear();
    Write("Pokrenut.", "1", bad);
    EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kListFailed}) << '"' << bad << '"';
  }
  EXPECT_EQ(dir.Read("veltactl.log"), "<missing>");
}

TEST_F(ActivityLog, ANegativeCapCannotBeReachedByRemovingLines) {
  dir.Write("veltactl.log", OldLines(1, 5));
  Write("Pokrenut.", "1", "-1");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 5));
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kDeleteFailed});
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, AFileThatCannotBeReadIsReportedOnEveryAttemptAndLeftAlone) {
  dir.MakeDirectory("veltactl.log");
  dir.Write("veltactl.log/inside", "kept");
  Write("Pokrenut.");
  Write("Zaustavljen.", "0");
  EXPECT_EQ(eventLog.Entries, (std::vector<std::string>{kLoadFailed, kLoadFailed}));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(dir.Read("veltactl.log/inside"), "kept");
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, AFileThatCannotBeWrittenIsReportedOnEveryAttempt) {
  path = dir.Path("missing") + "/veltactl.log";
  Write("Pokrenut.");
  Write("Zaustavljen.", "0");
  EXPECT_EQ(eventLog.Entries, (std::vector<std::string>{kSaveFailed, kSaveFailed}));
  EXPECT_FALSE(std::filesystem::exists(dir.Path("missing")));
  EXPECT_TRUE(Names().empty());
}

TEST_F(ActivityLog, AFailedReplaceLeavesTheOldLogWholeAndNoTemporaryFile) {
  dir.Write("veltactl.log", OldLines(1, 500));
  std::string handedOver;
  std::string handedContent;
  std::vector<std::string> namesMeanwhile;
  TReplaceFileFunc failing = [&](const std::string& tmp, const std::string& target) {
    EXPECT_EQ(target, path);
    handedOver = tmp;
    handedContent = dir.Read(std::filesystem::path(tmp).filename().string());
    namesMeanwhile = Names();
    return false;
  };
  WriteActivityLogRecord(path, "Pokrenut.", "1", "500", eventLog, kStamp, failing, RewriteRefused);

  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 500));
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kSaveFailed});
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
  // The new content was complete, beside the log (so the replace is a
  // rename within one directory), under a name of its own.
  EXPECT_EQ(handedContent, OldLines(2, 500) + Line("Pokrenut."));
  EXPECT_EQ(std::filesystem::path(handedOver).parent_path(), std::filesystem::path(path).parent_path());
  EXPECT_NE(handedOver, path);
  EXPECT_EQ(namesMeanwhile.size(), 2u);
}

TEST_F(ActivityLog, ARefusedReplaceWritesTheLogWhereItStands) {
  dir.Write("veltactl.log", OldLines(1, 3));
  WriteActivityLogRecord(path, "Pokrenut.", "1", "3", eventLog, kStamp,
                         [](const std::string&, const std::string&) { return false; });
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(2, 3) + Line("Pokrenut."));
  EXPECT_EQ(eventLog.Entries, kNoEntries);
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

// A replace can fail in three ways, as ReplaceFile documents them: both
// files kept (1175), the log deleted (1176), the log moved to a name of the
// system's choosing (1177); the new content is always still under its own
// name. None of them may cost the log.
TEST_F(ActivityLog, EveryWayAReplaceCanFailEndsWithAWholeLog) {
  struct Outcome {
    const char* name;
    std::function<void(const std::string& target)> leave;
  };
  const Outcome outcomes[] = {
      {"1175 both kept", [](const std::string&) {}},
      {"1176 log deleted", [](const std::string& target) { std::filesystem::remove(target); }},
      {"1177 log moved away", [](const std::string& target) { std::filesystem::rename(target, target + "~RF1.TMP"); }},
  };
  for (const Outcome& outcome : outcomes) {
    for (const std::string& name : Names()) std::filesystem::remove(dir.Path(name));
    eventLog.Entries.clear();
    dir.Write("veltactl.log", OldLines(1, 3));
    WriteActivityLogRecord(path, "Pokrenut.", "1", "3", eventLog, kStamp,
                           [&](const std::string&, const std::string& target) {
                             outcome.leave(target);
                             return false;
                           });
    EXPECT_EQ(dir.Read("veltactl.log"), OldLines(2, 3) + Line("Pokrenut.")) << outcome.name;
    EXPECT_EQ(eventLog.Entries, kNoEntries) << outcome.name;
    for (const std::string& name : Names()) {
      EXPECT_FALSE(IsTemporaryNameOf(name, "veltactl.log")) << outcome.name << ": " << name;
    }
  }
}

TEST_F(ActivityLog, AReplaceThatThrowsIsAFailedWriteToo) {
  dir.Write("veltactl.log", OldLines(1, 3));
  TReplaceFileFunc throwing = [](const std::string&, const std::string&) -> bool { throw std::runtime_error("x"); };
  WriteActivityLogRecord(path, "Pokrenut.", "1", "500", eventLog, kStamp, throwing, RewriteRefused);
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 3));
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kSaveFailed});
  EXPECT_EQ(Names(), std::vector<std::string>{"veltactl.log"});
}

TEST_F(ActivityLog, TheLogIsWrittenAgainAfterAFailure) {
  dir.Write("veltactl.log", OldLines(1, 3));
  WriteActivityLogRecord(path, "Pokrenut.", "1", "500", eventLog, kStamp,
                         [](const std::string&, const std::string&) { return false; }, RewriteRefused);
  Write("Zaustavljen.");
  EXPECT_EQ(dir.Read("veltactl.log"), OldLines(1, 3) + Line("Zaustavljen."));
  EXPECT_EQ(eventLog.Entries, std::vector<std::string>{kSaveFailed});
}

TEST_F(ActivityLog, TheEventLogTextsAreTheServicesOwn) {
  EXPECT_STREQ(kEventActivityLogUnreadable, kLoadFailed);
  EXPECT_STREQ(kEventActivityLogTrimFailed, kDeleteFailed);
  EXPECT_STREQ(kEventActivityLogUnwritable, kSaveFailed);
  EXPECT_STREQ(kEventActivityLogListFailed, kListFailed);
}

TEST(ActivityLogRecord, StampThenText) {
  EXPECT_EQ(ActivityLogRecord("24-03-2005, 17:05:09", "Pokrenut."),
            "Velta server : 24-03-2005, 17:05:09 : Pokrenut.");
}

TEST(FileReplace, ReadTellsAMissingFileFromAnUnreadableOne) {
  TempDir dir;
  std::string bytes = "untouched";
  EXPECT_EQ(ReadWholeFile(dir.Path("none"), bytes), TWholeFileRead::Missing);
  EXPECT_EQ(ReadWholeFile(dir.Path("none") + "/deeper", bytes), TWholeFileRead::Missing);
  dir.MakeDirectory("folder");
  EXPECT_EQ(ReadWholeFile(dir.Path("folder"), bytes), TWholeFileRead::Failed);
  EXPECT_EQ(bytes, "untouched");
  std::string big(200000, 'x');
  big[123456] = '\0';
  dir.Write("file", big);
  EXPECT_EQ(ReadWholeFile(dir.Path("file"), bytes), TWholeFileRead::Read);
  EXPECT_EQ(bytes, big);
}

TEST(FileReplace, TemporaryFilesBesideOneTargetNeverShareAName) {
  TempDir dir;
  std::string first;
  std::string second;
  ASSERT_TRUE(WriteTemporaryBeside(dir.Path("log"), "one", first));
  ASSERT_TRUE(WriteTemporaryBeside(dir.Path("log"), "two", second));
  EXPECT_NE(first, second);
  EXPECT_EQ(std::filesystem::path(first).parent_path(), std::filesystem::path(dir.Path("log")).parent_path());
  EXPECT_EQ(dir.Read(std::filesystem::path(first).filename().string()), "one");
  EXPECT_EQ(dir.Read(std::filesystem::path(second).filename().string()), "two");
  EXPECT_EQ(dir.Read("log"), "<missing>");
  RemoveFileQuietly(first);
  RemoveFileQuietly(second);
  EXPECT_FALSE(std::filesystem::exists(first));
  EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(FileReplace, ReplaceTakesTheTargetsPlaceOrLeavesItAlone) {
  TempDir dir;
  dir.Write("log", "old");
  std::string tmp;
  ASSERT_TRUE(WriteTemporaryBeside(dir.Path("log"), "new", tmp));
  EXPECT_TRUE(ReplaceFileWith(tmp, dir.Path("log")));
  EXPECT_EQ(dir.Read("log"), "new");
  EXPECT_FALSE(std::filesystem::exists(tmp));

  EXPECT_FALSE(ReplaceFileWith(dir.Path("gone"), dir.Path("log")));
  EXPECT_EQ(dir.Read("log"), "new");

  ASSERT_TRUE(WriteTemporaryBeside(dir.Path("fresh"), "created", tmp));
  EXPECT_TRUE(ReplaceFileWith(tmp, dir.Path("fresh")));
  EXPECT_EQ(dir.Read("fresh"), "created");

#ifndef _WIN32
  // What the administrator set on the log stays with it.
  namespace fs = std::filesystem;
  fs::permissions(dir.Path("log"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(WriteTemporaryBeside(dir.Path("log"), "newer", tmp));
  EXPECT_TRUE(ReplaceFileWith(tmp, dir.Path("log")));
  EXPECT_EQ(dir.Read("log"), "newer");
  EXPECT_EQ(fs::status(dir.Path("log")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
}

TEST(FileReplace, OnlyTheWritersOwnLeftoversAreRemoved) {
  TempDir dir;
  std::string log = dir.Path("veltactl.log");
  std::string leftover;
  ASSERT_TRUE(WriteTemporaryBeside(log, "crashed before the replace", leftover));
  for (const char* name : {"veltactl.log", "veltactl.log.7.tmp", "veltactl.log.x.1.tmp", "other.log.1.2.tmp"}) {
    dir.Write(name, "keep");
  }
  RemoveLeftoverTemporaries(log);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  for (const char* name : {"veltactl.log", "veltactl.log.7.tmp", "veltactl.log.x.1.tmp", "other.log.1.2.tmp"}) {
    EXPECT_EQ(dir.Read(name), "keep") << name;
  }
}

TEST(FileReplace, NoTemporaryFileInAMissingDirectory) {
  TempDir dir;
  std::string tmp = "unset";
  EXPECT_FALSE(WriteTemporaryBeside(dir.Path("missing") + "/log", "x", tmp));
  EXPECT_EQ(tmp, "unset");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("missing")));
}

TEST(LocalTime, FormatPadsEveryField) {
  EXPECT_EQ(FormatTimeStamp(TLocalTime{2005, 3, 4, 7, 5, 9}, ":"), "04-03-2005, 07:05:09");
  EXPECT_EQ(FormatTimeStamp(TLocalTime{2099, 12, 31, 23, 59, 58}, "."), "31-12-2099, 23.59.58");
  EXPECT_EQ(FormatTimeStamp(TLocalTime{2024, 1, 1, 0, 0, 0}, ":"), "01-01-2024, 00:00:00");
}

TEST(LocalTime, TheStampOfNowHasTheShapeOfDayMonthYearHourMinuteSecond) {
  std::string stamp = LocalTimeStamp();
  auto digits = [&](std::size_t at, std::size_t count) {
    if (at + count > stamp.size()) return false;
    for (std::size_t i = at; i < at + count; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(stamp[i]))) return false;
    }
    return true;
  };
  ASSERT_GE(stamp.size(), 20u) << stamp;
  EXPECT_TRUE(digits(0, 2)) << stamp;
  EXPECT_EQ(stamp[2], '-') << stamp;
  EXPECT_TRUE(digits(3, 2)) << stamp;
  EXPECT_EQ(stamp[5], '-') << stamp;
  EXPECT_TRUE(digits(6, 4)) << stamp;
  EXPECT_EQ(stamp.substr(10, 2), ", ") << stamp;
  EXPECT_TRUE(digits(12, 2)) << stamp;
  // The regional separator is usually one character, but need not be; both
  // places hold the same one.
  std::size_t separator = (stamp.size() - 18) / 2;
  std::string first = stamp.substr(14, separator);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(stamp.size(), 18 + 2 * separator) << stamp;
  EXPECT_TRUE(digits(14 + separator, 2)) << stamp;
  EXPECT_EQ(stamp.substr(16 + separator, separator), first) << stamp;
  EXPECT_TRUE(digits(16 + 2 * separator, 2)) << stamp;
  for (char c : first) EXPECT_FALSE(std::isdigit(static_cast<unsigned char>(c))) << stamp;
#ifndef _WIN32
  EXPECT_EQ(first, ":");
#endif
  int day = std::stoi(stamp.substr(0, 2));
  int month = std::stoi(stamp.substr(3, 2));
  int hour = std::stoi(stamp.substr(12, 2));
  EXPECT_TRUE(day >= 1 && day <= 31) << stamp;
  EXPECT_TRUE(month >= 1 && month <= 12) << stamp;
  EXPECT_TRUE(hour >= 0 && hour <= 23) << stamp;
}
