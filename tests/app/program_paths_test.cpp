#include "platform/program_paths.h"
#include "platform/system_locale.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavero::platform {
namespace {

struct PathsCase {
    const char* name;
    const char* executable;
    bool writable;
    const char* xdgConfigHome;
    const char* home;
    const char* programFolder;
    const char* writableFolder;
    std::vector<std::string> dataFolders;
};

class AppResolveProgramPathsTest : public testing::TestWithParam<PathsCase> {};

TEST_P(AppResolveProgramPathsTest, PlacesFiles) {
    const auto& c = GetParam();
    const auto paths = resolveProgramPaths(c.executable, c.writable, c.xdgConfigHome, c.home);
    EXPECT_EQ(paths.programFolder, c.programFolder);
    EXPECT_EQ(paths.writableFolder, c.writableFolder);
    EXPECT_EQ(paths.dataFolders, c.dataFolders);
}

INSTANTIATE_TEST_SUITE_P(Layouts, AppResolveProgramPathsTest,
                         testing::Values(PathsCase{"UnpackedCopy",
                                                   "/home/me/tavero/Tavero2",
                                                   true,
                                                   "/home/me/.cfg",
                                                   "/home/me",
                                                   "/home/me/tavero/",
                                                   "/home/me/tavero/",
                                                   {"/home/me/tavero/"}},
                                         PathsCase{"WritableBinFolderStillSearchesShare",
                                                   "/opt/t/bin/tavero",
                                                   true,
                                                   "",
                                                   "/h",
                                                   "/opt/t/bin/",
                                                   "/opt/t/bin/",
                                                   {"/opt/t/bin/", "/opt/t/share/tavero/"}},
                                         PathsCase{"InstalledWithXdg",
                                                   "/usr/bin/tavero",
                                                   false,
                                                   "/home/me/.cfg/",
                                                   "/home/me",
                                                   "/usr/bin/",
                                                   "/home/me/.cfg/tavero/",
                                                   {"/usr/bin/", "/usr/share/tavero/"}},
                                         PathsCase{"InstalledWithHomeOnly",
                                                   "/usr/local/bin/tavero",
                                                   false,
                                                   "",
                                                   "/home/me",
                                                   "/usr/local/bin/",
                                                   "/home/me/.config/tavero/",
                                                   {"/usr/local/bin/", "/usr/local/share/tavero/"}},
                                         PathsCase{"RelativeXdgIgnored",
                                                   "/usr/bin/tavero",
                                                   false,
                                                   "cfg",
                                                   "/home/me",
                                                   "/usr/bin/",
                                                   "/home/me/.config/tavero/",
                                                   {"/usr/bin/", "/usr/share/tavero/"}},
                                         PathsCase{"NowhereToWrite",
                                                   "/opt/tavero/tavero",
                                                   false,
                                                   "",
                                                   "",
                                                   "/opt/tavero/",
                                                   "/opt/tavero/",
                                                   {"/opt/tavero/"}}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(AppProgramPathsTest, RunningExecutableFolder) {
    const std::string exe = executablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(exe.ends_with("/tavero_app_tests")) << exe;
    const auto paths = discoverProgramPaths();
    EXPECT_EQ(paths.programFolder + "tavero_app_tests", exe);
    EXPECT_TRUE(paths.writableFolder.ends_with("/"));
}

struct LocaleCase {
    const char* posixName;
    const char* language;
    const char* country;
};

class AppParseLocaleNameTest : public testing::TestWithParam<LocaleCase> {};

TEST_P(AppParseLocaleNameTest, SplitsIsoNames) {
    const auto locale = parseLocaleName(GetParam().posixName);
    EXPECT_EQ(locale.language, GetParam().language) << GetParam().posixName;
    EXPECT_EQ(locale.country, GetParam().country) << GetParam().posixName;
}

INSTANTIATE_TEST_SUITE_P(
    Names, AppParseLocaleNameTest,
    testing::Values(LocaleCase{"zh_CN.UTF-8", "zh", "CN"}, LocaleCase{"de_DE@euro", "de", "DE"},
                    LocaleCase{"pt_BR", "pt", "BR"}, LocaleCase{"zh_cn.utf8", "zh", "CN"},
                    LocaleCase{"ast_ES.UTF-8", "ast", "ES"}, LocaleCase{"es_419", "es", "419"},
                    LocaleCase{"en", "en", ""}, LocaleCase{"en_USA", "en", ""},
                    LocaleCase{"C", "", ""}, LocaleCase{"C.UTF-8", "", ""},
                    LocaleCase{"POSIX", "", ""}, LocaleCase{"", "", ""},
                    LocaleCase{"12_34", "", ""}));

TEST(AppSystemLocaleTest, MessagesLocaleFollowsCLibraryPrecedence) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* expected;
    } cases[] = {
        {"zh_CN.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", "zh_CN"},
        {"", "de_DE.UTF-8", "fr_FR.UTF-8", "de_DE"},
        {nullptr, nullptr, "fr_FR.UTF-8", "fr_FR"},
        {nullptr, nullptr, "C.UTF-8", ""},
        {nullptr, nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(localeCode(messagesLocale(c.lcAll, c.lcMessages, c.lang)), c.expected)
            << (c.lang ? c.lang : "(unset)");
    }
}

} // namespace
} // namespace tavero::platform
