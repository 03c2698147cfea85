#include "app/app_settings.h"
#include "temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace tavero::app {
namespace {

using namespace std::string_literals;

constexpr int kEnglish = 0;
constexpr int kChinese = 1;
constexpr int kGerman = 8;
constexpr int kPolish = 28;

const std::string kChineseFile =
    "[Language String]\n"
    "After change language settings please restart program=请重启程序\n"
    "Open=打开\n"
    "Blank=\n"
    "None=None\n"
    "Long=" +
    std::string(300, 'x') + "\n";

AppSettings settingsIn(const test::TempFolder& folder, std::string locale = {}) {
    return AppSettings(platform::programPathsInFolder(folder.path()), std::move(locale));
}

std::vector<int> offeredIndexes(const AppSettings& settings) {
    std::vector<int> indexes;
    for (const auto& item : settings.FillLanguageCombo().items) {
        indexes.push_back(item.tableIndex);
    }
    return indexes;
}

TEST(AppLanguageTableTest, RowsAreNumberedAndCodesUnique) {
    for (std::size_t i = 0; i < kLanguageTable.size(); ++i) {
        EXPECT_EQ(kLanguageTable[i].id, static_cast<int>(i) + 1);
        EXPECT_EQ(findLanguageByCode(kLanguageTable[i].code), static_cast<int>(i));
    }
    EXPECT_EQ(kLanguageTable[kPolish].code, "pl_PL");
    EXPECT_EQ(kLanguageTable[kPolish].id, kHiddenLanguageId);
    EXPECT_EQ(findLanguageByFileName("de_DE.ini"), kGerman);
    EXPECT_EQ(findLanguageByFileName("de_de.ini"), -1);
    EXPECT_EQ(findLanguageByFileName("de_DE.INI"), -1);
}

struct LoadCase {
    const char* name;
    std::optional<std::string> languageFile; // the "Language File" setting; nullopt: absent
    std::string locale;
    std::vector<std::string> files; // under "Language/"
    int expectedCurrent;
    std::vector<int> expectedOffered;
};

class AppLoadLanguageTest : public testing::TestWithParam<LoadCase> {};

TEST_P(AppLoadLanguageTest, PicksLanguageAndOffersAvailableOnes) {
    const auto& c = GetParam();
    test::TempFolder folder;
    folder.write("Config.ini", c.languageFile ? "[Config]\nLanguage File=" + *c.languageFile + "\n"
                                              : "[Config]\n");
    for (const auto& file : c.files) {
        folder.write("Language/" + file, kChineseFile);
    }
    auto settings = settingsIn(folder, c.locale);
    settings.LoadLanguage();

    EXPECT_EQ(settings.currentLanguage(), c.expectedCurrent);
    EXPECT_EQ(settings.pendingLanguage(), c.expectedCurrent);
    EXPECT_EQ(offeredIndexes(settings), c.expectedOffered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AppLoadLanguageTest,
    testing::Values(
        LoadCase{"NoneWithChineseLocale", "None", "zh_CN", {"zh_CN.ini"}, kChinese, {0, 1}},
        LoadCase{"NoneWithUnknownLocale", "None", "xx_YY", {"zh_CN.ini"}, kEnglish, {0, 1}},
        LoadCase{"NoneWithoutLocale", "None", "", {"zh_CN.ini"}, kEnglish, {0, 1}},
        LoadCase{"GermanWithoutItsFile", "de_DE", "", {"zh_CN.ini"}, kEnglish, {0, 1}},
        LoadCase{
            "PolishUsedButNeverOffered", "pl_PL", "", {"pl_PL.ini", "de_DE.ini"}, kPolish, {0, 8}},
        LoadCase{"FileNameCaseMustMatch",
                 "de_DE",
                 "",
                 {"de_de.ini", "DE_DE.ini", "de_DE.INI"},
                 kEnglish,
                 {0}},
        LoadCase{"SettingCaseMustMatch", "de_de", "", {"de_DE.ini"}, kEnglish, {0, 8}},
        LoadCase{"UnknownCode", "xx_XX", "", {"de_DE.ini"}, kEnglish, {0, 8}},
        LoadCase{"NoSetting", std::nullopt, "zh_CN", {"zh_CN.ini"}, kEnglish, {0, 1}},
        LoadCase{"NoLanguageFolder", "de_DE", "", {}, kEnglish, {0}},
        LoadCase{"OtherFilesIgnored",
                 "zh_TW",
                 "",
                 {"zh_TW.ini", "readme.txt", "zh_TW.ini.bak"},
                 38,
                 {0, 38}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AppLoadLanguageTest, FolderNamedLikeALanguageFileIsNotALanguage) {
    test::TempFolder folder;
    folder.write("Config.ini", "[Config]\nLanguage File=de_DE\n");
    std::filesystem::create_directories(folder.path() + "Language/de_DE.ini");
    auto settings = settingsIn(folder);
    settings.LoadLanguage();
    EXPECT_EQ(settings.currentLanguage(), kEnglish);
    EXPECT_FALSE(settings.isLanguageAvailable(kGerman));
}

TEST(AppLoadLanguageTest, InstalledCopyFindsLanguagesInShareFolder) {
    test::TempFolder folder;
    folder.write("share/tavero/Language/de_DE.ini", "[Language String]\nOpen=Öffnen\n");
    folder.write("config/Config.ini", "[Config]\nLanguage File=de_DE\n");
    platform::ProgramPaths paths;
    paths.programFolder = folder.path() + "bin/";
    paths.writableFolder = folder.path() + "config/";
    paths.dataFolders = {paths.programFolder, folder.path() + "share/tavero/"};
    AppSettings settings(paths, "");
    settings.LoadLanguage();
    EXPECT_EQ(settings.currentLanguage(), kGerman);
    EXPECT_EQ(settings.Translate("Open"), "Öffnen");
}

struct TranslateCase {
    const char* name;
    std::string text;
    std::string expected;
};

class AppTranslateTest : public testing::TestWithParam<TranslateCase> {};

TEST_P(AppTranslateTest, TranslatesOrKeepsEnglish) {
    test::TempFolder folder;
    folder.write("Config.ini", "[Config]\nLanguage File=zh_CN\n");
    folder.write("Language/zh_CN.ini", kChineseFile);
    auto settings = settingsIn(folder);
    settings.LoadLanguage();
    ASSERT_EQ(settings.currentLanguage(), kChinese);
    EXPECT_EQ(settings.Translate(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AppTranslateTest,
    testing::Values(TranslateCase{"Present", "Open", "打开"},
                    TranslateCase{"MissingKeyShowsEnglish", "Close", "Close"},
                    TranslateCase{"EmptyTranslationShowsEnglish", "Blank", "Blank"},
                    TranslateCase{"EmptyText", "", ""},
                    TranslateCase{"NoneIsAnOrdinaryWord", "None", "None"},
                    TranslateCase{"TranslationCutTo259", "Long", std::string(259, 'x')},
                    TranslateCase{"LongEnglishKeptWhole", std::string(300, 'y'),
                                  std::string(300, 'y')}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(AppTranslateTest, EnglishWithoutFileAndUtf16File) {
    test::TempFolder folder;
    auto english = settingsIn(folder);
    english.LoadLanguage();
    EXPECT_EQ(english.Translate("Open"), "Open");

    // "[Language String]\nOpen=Ouvrir\n" as UTF-16LE with its mark, as often shipped.
    std::string utf16 = "\xFF\xFE";
    for (char c : "[Language String]\r\nOpen=Ouvrir\r\n"s) {
        utf16 += c;
        utf16 += '\0';
    }
    folder.write("Language/fr_FR.ini", utf16);
    folder.write("Config.ini", "[Config]\nLanguage File=fr_FR\n");
    auto french = settingsIn(folder);
    french.LoadLanguage();
    EXPECT_EQ(french.Translate("Open"), "Ouvrir");
}

class AppLanguageChoiceTest : public testing::Test {
protected:
    void SetUp() override {
        m_folder.write("Config.ini", "; kept\n[Config]\nLanguage File=zh_CN\nUIMode=1\n"
                                     "[Other]\nX=1\n");
        m_folder.write("Language/zh_CN.ini", kChineseFile);
        m_folder.write("Language/de_DE.ini", "[Language String]\n");
        m_folder.write("Language/pl_PL.ini", "[Language String]\n");
        m_settings.LoadLanguage();
        ASSERT_EQ(m_settings.currentLanguage(), kChinese);
    }

    test::TempFolder m_folder;
    AppSettings m_settings = settingsIn(m_folder);
};

TEST_F(AppLanguageChoiceTest, ComboSelectsPendingLanguage) {
    auto combo = m_settings.FillLanguageCombo();
    ASSERT_EQ(combo.items.size(), 3u);
    EXPECT_EQ(combo.items[0].text, "English");
    EXPECT_EQ(combo.items[1].text, "简体中文");
    EXPECT_EQ(combo.items[2].text, "Deutsch");
    EXPECT_EQ(combo.selectedItem, 1);

    (void)m_settings.ChooseLanguage(kGerman);
    EXPECT_EQ(m_settings.FillLanguageCombo().selectedItem, 2);
    // A language that is not offered leaves nothing selected.
    (void)m_settings.ChooseLanguage(kPolish);
    EXPECT_EQ(m_settings.FillLanguageCombo().selectedItem, -1);
}

TEST_F(AppLanguageChoiceTest, ChoosingShowsRestartMessageInCurrentLanguage) {
    EXPECT_EQ(m_settings.ChooseLanguage(kGerman), "请重启程序");
    EXPECT_EQ(m_settings.pendingLanguage(), kGerman);
    EXPECT_EQ(m_settings.currentLanguage(), kChinese);

    EXPECT_EQ(m_settings.ChooseLanguage(-1), "");
    EXPECT_EQ(m_settings.ChooseLanguage(static_cast<int>(kLanguageCount)), "");
    EXPECT_EQ(m_settings.pendingLanguage(), kGerman);
}

TEST_F(AppLanguageChoiceTest, SavingWritesChosenCodeAndKeepsTheRest) {
    (void)m_settings.ResolveUiMode(1920, 1080);
    (void)m_settings.ChooseLanguage(kGerman);
    m_settings.SaveOnExit();
    EXPECT_EQ(m_folder.read("Config.ini"),
              "; kept\n[Config]\nLanguage File=de_DE\nUIMode=1\n[Other]\nX=1\n");
    EXPECT_EQ(m_settings.currentLanguage(), kGerman);
}

TEST_F(AppLanguageChoiceTest, ReChoosingCurrentWritesCurrentCode) {
    (void)m_settings.ChooseLanguage(kGerman);
    (void)m_settings.ChooseLanguage(kChinese);
    m_settings.SaveOnExit();
    EXPECT_EQ(m_settings.ReadConfigString(kLanguageFileKey), "zh_CN");
}

struct UiModeCase {
    std::optional<int> stored;
    int width;
    int height;
    int expectedRun;
};

class AppResolveUiModeTest : public testing::TestWithParam<UiModeCase> {};

TEST_P(AppResolveUiModeTest, LowersForScreenButSavesConfiguredMode) {
    const auto& c = GetParam();
    test::TempFolder folder;
    if (c.stored) {
        folder.write("Config.ini", "[Config]\nUIMode=" + std::to_string(*c.stored) + "\n");
    }
    auto settings = settingsIn(folder);
    EXPECT_EQ(settings.ResolveUiMode(c.width, c.height), c.expectedRun)
        << c.width << "x" << c.height;
    const int configured = c.stored.value_or(0);
    EXPECT_EQ(settings.uiMode(), configured);
    settings.SaveOnExit();
    EXPECT_EQ(settings.ReadConfigInt(kUiModeKey, 99), configured);
}

INSTANTIATE_TEST_SUITE_P(Screens, AppResolveUiModeTest,
                         testing::Values(UiModeCase{0, 1600, 900, 1}, UiModeCase{0, 1366, 768, 2},
                                         UiModeCase{0, 1920, 1080, 0}, UiModeCase{0, 1920, 1079, 1},
                                         UiModeCase{std::nullopt, 2560, 1440, 0},
                                         UiModeCase{1, 1440, 900, 1}, UiModeCase{1, 1440, 810, 2},
                                         UiModeCase{1, 1439, 1200, 2}, UiModeCase{1, 3840, 2160, 1},
                                         UiModeCase{2, 3840, 2160, 2}, UiModeCase{7, 3840, 2160, 0},
                                         UiModeCase{7, 1600, 900, 1},
                                         UiModeCase{-1, 1024, 768, 2}));

} // namespace
} // namespace tavero::app
