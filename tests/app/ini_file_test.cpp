#include "app/ini_file.h"
#include "temp_folder.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavero::app {
namespace {

using namespace std::string_literals;

struct ReadCase {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

class AppIniReadTest : public testing::TestWithParam<ReadCase> {};

TEST_P(AppIniReadTest, FindsValue) {
    const auto& c = GetParam();
    EXPECT_EQ(IniFile::findValue(c.text, c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, AppIniReadTest,
    testing::Values(
        ReadCase{"SectionAndKeyIgnoreCase", "[config]\nuimode=1\n", "CONFIG", "UIMode", "1"},
        ReadCase{"WhiteSpaceAroundNamesAndValues", "  [ Config ]  \n  Key Name\t=  a value  \n",
                 "Config", "Key Name", "a value"},
        ReadCase{"LookupNamesTrimmed", "[Config]\nA=1\n", " Config ", " A ", "1"},
        ReadCase{"CrLfLines", "[Config]\r\nA=1\r\nB=two\r\n", "Config", "B", "two"},
        ReadCase{"LastLineWithoutBreak", "[Config]\nA=last", "Config", "A", "last"},
        ReadCase{"FirstKeyWins", "[Config]\nA=1\na=2\n", "Config", "A", "1"},
        ReadCase{"OnlyFirstSectionCounts", "[Config]\nA=1\n[Other]\n[CONFIG]\nB=3\n", "Config", "B",
                 std::nullopt},
        ReadCase{"KeyOfAnotherSection", "[Other]\nA=1\n[Config]\nB=2\n", "Config", "A",
                 std::nullopt},
        ReadCase{"KeyBeforeAnySection", "A=0\n[Config]\n", "Config", "A", std::nullopt},
        ReadCase{"CommentLine", "[Config]\n; A=1\n", "Config", "A", std::nullopt},
        ReadCase{"HeaderWithoutBracketIgnored", "[Config\nA=1\n", "Config", "A", std::nullopt},
        ReadCase{"TextAfterHeader", "[Config] ; main\nA=1\n", "Config", "A", "1"},
        ReadCase{"EqualsInValue", "[Config]\nA=x=y\n", "Config", "A", "x=y"},
        ReadCase{"KeyIsNotAPrefix", "[Config]\nAB=1\n", "Config", "A", std::nullopt},
        ReadCase{"LineWithoutEqualsSkipped", "[Config]\nA\nA=5\n", "Config", "A", "5"},
        ReadCase{"EmptyValue", "[Config]\nA=\n", "Config", "A", ""},
        ReadCase{"DoubleQuotesRemoved", "[Config]\nA=\"  spaced  \"\n", "Config", "A",
                 "  spaced  "},
        ReadCase{"SingleQuotesRemoved", "[Config]\nA='x'\n", "Config", "A", "x"},
        ReadCase{"UnmatchedQuoteKept", "[Config]\nA=\"x'\n", "Config", "A", "\"x'"},
        ReadCase{"Utf8KeysAndValues", "[Language String]\nOpen=打开\n", "Language String", "Open",
                 "打开"}),
    [](const auto& p) { return std::string(p.param.name); });

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    std::string value;
    std::string after;
};

class AppIniWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(AppIniWriteTest, KeepsEverythingElse) {
    const auto& c = GetParam();
    EXPECT_EQ(IniFile::withValue(c.before, c.section, c.key, c.value), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, AppIniWriteTest,
    testing::Values(WriteCase{"NewFile", "", "Config", "A", "1", "[Config]\nA=1\n"},
                    WriteCase{"ReplaceInPlace",
                              "; top\n[Other]\nX=1\n\n[Config]\n; note\nA = old\nB=2\nzz\n",
                              "Config", "a", "new",
                              "; top\n[Other]\nX=1\n\n[Config]\n; note\nA=new\nB=2\nzz\n"},
                    WriteCase{"KeySpellingKept", "[config]\nuimode=1\n", "Config", "UIMode", "2",
                              "[config]\nuimode=2\n"},
                    WriteCase{"NewKeyBeforeBlankLine", "[Config]\nA=1\n\n[Other]\nX=1\n", "Config",
                              "B", "2", "[Config]\nA=1\nB=2\n\n[Other]\nX=1\n"},
                    WriteCase{"NewKeyAfterHeaderOnly", "[Config]\n[Other]\n", "Config", "A", "1",
                              "[Config]\nA=1\n[Other]\n"},
                    WriteCase{"NewKeyWithoutFinalBreak", "[Config]\nA=1", "Config", "B", "2",
                              "[Config]\nA=1\nB=2\n"},
                    // Found by fuzzing: a last line ended by a bare CR took the new key onto
                    // itself, where no reader finds it.
                    WriteCase{"NewKeyAfterBareCr", "[Config]\nA=1\r", "Config", "B", "2",
                              "[Config]\nA=1\r\nB=2\n"},
                    WriteCase{"NewSectionAtEnd", "[Other]\nX=1\n", "Config", "A", "1",
                              "[Other]\nX=1\n\n[Config]\nA=1\n"},
                    WriteCase{"NewSectionWithoutFinalBreak", "[Other]\nX=1", "Config", "A", "1",
                              "[Other]\nX=1\n\n[Config]\nA=1\n"},
                    WriteCase{"NewSectionAfterBlankLine", "[Other]\nX=1\n\n", "Config", "A", "1",
                              "[Other]\nX=1\n\n[Config]\nA=1\n"},
                    WriteCase{"CrLfKeptOnReplace", "[Config]\r\nA=1\r\nB=2\r\n", "Config", "A", "9",
                              "[Config]\r\nA=9\r\nB=2\r\n"},
                    WriteCase{"CrLfUsedForNewLines", "[Config]\r\nA=1\r\n", "Channel-01",
                              "EnableAudio", "0",
                              "[Config]\r\nA=1\r\n\r\n[Channel-01]\r\nEnableAudio=0\r\n"},
                    WriteCase{"FirstOfTwoSections", "[Config]\nA=1\n[config]\nB=2\n", "Config", "B",
                              "3", "[Config]\nA=1\nB=3\n[config]\nB=2\n"},
                    WriteCase{"ValueWithSpacesQuoted", "[Config]\n", "Config", "A", " x ",
                              "[Config]\nA=\" x \"\n"}),
    [](const auto& p) { return std::string(p.param.name); });

// Every value the syntax can hold reads back exactly as written.
class AppIniRoundTripTest : public testing::TestWithParam<std::string> {};

TEST_P(AppIniRoundTripTest, ReadsBackWhatWasWritten) {
    const std::string before = "[Config]\nOther=keep\n";
    const auto text = IniFile::withValue(before, "Config", "Path", GetParam());
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(IniFile::findValue(*text, "Config", "Path"), GetParam());
    EXPECT_EQ(IniFile::findValue(*text, "Config", "Other"), "keep");
}

INSTANTIATE_TEST_SUITE_P(Values, AppIniRoundTripTest,
                         testing::Values(""s, "plain"s, " leading"s, "trailing\t"s, "\"quoted\""s,
                                         "'single'"s, "a\""s, "\""s, "x=y"s, ";not a comment"s,
                                         "[not a section]"s, "/home/me/Black Box"s, "简体中文"s));

struct InvalidCase {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
};

class AppIniInvalidEntryTest : public testing::TestWithParam<InvalidCase> {};

// A line break in a value would let a folder name chosen by the user plant keys of its own
// (for example a raw drive mapping) in the settings file.
TEST_P(AppIniInvalidEntryTest, IsRejectedAndFileUntouched) {
    const auto& c = GetParam();
    test::TempFolder folder;
    const std::string original = "[Config]\nA=1\n";
    folder.write("Config.ini", original);
    IniFile file(folder.path() + "Config.ini");

    EXPECT_FALSE(file.write(c.section, c.key, c.value));
    EXPECT_EQ(file.lastError().code, IniErrorCode::InvalidEntry);
    EXPECT_EQ(folder.read("Config.ini"), original);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AppIniInvalidEntryTest,
    testing::Values(InvalidCase{"ValueWithLineFeed", "Config", "BackupPath", "x\n[Drives]\n3=/"},
                    InvalidCase{"ValueWithCarriageReturn", "Config", "A", "x\ry"},
                    InvalidCase{"ValueWithNul", "Config", "A", "x\0y"s},
                    InvalidCase{"KeyWithEquals", "Config", "A=B", "1"},
                    InvalidCase{"KeyWithLineFeed", "Config", "A\nB", "1"},
                    InvalidCase{"EmptyKey", "Config", "  ", "1"},
                    InvalidCase{"CommentKey", "Config", ";A", "1"},
                    InvalidCase{"SectionKey", "Config", "[A]", "1"},
                    InvalidCase{"EmptySection", "", "A", "1"},
                    InvalidCase{"SectionWithBracket", "Con]fig", "A", "1"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AppIniDecodeTest, Utf16LittleEndianBecomesUtf8) {
    // "[S]\nk=中😀" in UTF-16LE with its mark; the emoji is a surrogate pair.
    std::string bytes = "\xFF\xFE"
                        "[\0S\0]\0\n\0k\0=\0\x2D\x4E\x3D\xD8\x00\xDE"s;
    const auto bom = IniFile::decode(bytes);
    EXPECT_EQ(bytes, "[S]\nk=中😀");
    EXPECT_EQ(bom, "\xEF\xBB\xBF");
}

TEST(AppIniDecodeTest, Utf16BigEndianAndBrokenSurrogates) {
    // A high surrogate followed by a plain character, then an odd trailing byte.
    std::string bytes = "\xFE\xFF\0A\xD8\x3D\0B\0"s;
    (void)IniFile::decode(bytes);
    EXPECT_EQ(bytes, "A\xEF\xBF\xBD"
                     "B");
}

TEST(AppIniDecodeTest, Utf8MarkSkippedPlainTextUntouched) {
    std::string marked = "\xEF\xBB\xBF[Config]\nA=1\n";
    EXPECT_EQ(IniFile::decode(marked), "\xEF\xBB\xBF");
    EXPECT_EQ(marked, "[Config]\nA=1\n");

    std::string plain = "[Config]\nA=1\n";
    EXPECT_TRUE(IniFile::decode(plain).empty());
    EXPECT_EQ(plain, "[Config]\nA=1\n");
}

TEST(AppIniFileTest, FirstWriteCreatesFileAndMarkIsKept) {
    test::TempFolder folder;
    IniFile created(folder.path() + "Config.ini");
    EXPECT_EQ(created.read("Config", "A"), std::nullopt);
    ASSERT_TRUE(created.write("Config", "A", "1"));
    EXPECT_EQ(folder.read("Config.ini"), "[Config]\nA=1\n");

    folder.write("Marked.ini", "\xEF\xBB\xBF[Config]\nA=1\n");
    IniFile marked(folder.path() + "Marked.ini");
    ASSERT_TRUE(marked.write("Config", "A", "2"));
    EXPECT_EQ(folder.read("Marked.ini"), "\xEF\xBB\xBF[Config]\nA=2\n");
}

TEST(AppIniFileTest, Utf16FileIsRewrittenAsUtf8WithEverythingKept) {
    test::TempFolder folder;
    folder.write("Wifi.ini", "\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0\n\0"s);
    IniFile file(folder.path() + "Wifi.ini");
    ASSERT_TRUE(file.write("S", "n", "2"));
    EXPECT_EQ(folder.read("Wifi.ini"), "\xEF\xBB\xBF[S]\nk=v\nn=2\n");
}

TEST(AppIniFileTest, MissingFolderFailsWithoutCrash) {
    test::TempFolder folder;
    IniFile file(folder.path() + "absent/Config.ini");
    EXPECT_FALSE(file.write("Config", "A", "1"));
    EXPECT_EQ(file.lastError().code, IniErrorCode::WriteFailed);
    EXPECT_FALSE(file.lastError().detail.empty());
}

TEST(AppIniFileTest, FileTooLargeToReadIsNeverReplaced) {
    test::TempFolder folder;
    const std::string path = folder.path() + "Config.ini";
    folder.write("Config.ini", "[Config]\nA=1\n");
    std::filesystem::resize_file(path, IniFile::kMaxFileBytes + 1); // sparse, cheap

    IniFile file(path);
    EXPECT_EQ(file.read("Config", "A"), std::nullopt);
    EXPECT_FALSE(file.write("Config", "A", "2"));
    EXPECT_EQ(file.lastError().code, IniErrorCode::ReadFailed);
    EXPECT_EQ(std::filesystem::file_size(path), IniFile::kMaxFileBytes + 1);
    EXPECT_EQ(folder.read("Config.ini").substr(0, 13), "[Config]\nA=1\n");
}

// A full disk (simulated with a file size limit, which binds root too) fails the write but
// leaves the old settings and no temporary file behind.
TEST(AppIniFileTest, FullDiskKeepsOldFile) {
    test::TempFolder folder;
    const std::string original = "[Config]\nA=1\n" + std::string(400, ';') + "\n";
    folder.write("Config.ini", original);
    IniFile file(folder.path() + "Config.ini");

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = file.write("Config", "A", "2");
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, savedHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(file.lastError().code, IniErrorCode::WriteFailed);
    EXPECT_EQ(folder.read("Config.ini"), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(AppIniFileTest, SymbolicLinkAndPermissionsSurvive) {
    test::TempFolder folder;
    folder.write("real/Config.ini", "[Config]\nA=1\n");
    const std::string real = folder.path() + "real/Config.ini";
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    const std::string link = folder.path() + "Config.ini";
    std::filesystem::create_symlink(real, link);

    IniFile file(link);
    ASSERT_TRUE(file.write("Config", "A", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(folder.read("real/Config.ini"), "[Config]\nA=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AppIniFileTest, ReadSectionListsEntriesInOrder) {
    test::TempFolder folder;
    folder.write("zh_CN.ini", "[Provinces]\n1=京\n2 = 津\n;3=x\n[Other]\n4=y\n");
    const auto entries = IniFile(folder.path() + "zh_CN.ini").readSection("provinces");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].key, "1");
    EXPECT_EQ(entries[0].value, "京");
    EXPECT_EQ(entries[1].key, "2");
    EXPECT_EQ(entries[1].value, "津");
}

} // namespace
} // namespace tavero::app
