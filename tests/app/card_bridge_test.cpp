// The road of one card through the window's rules with the real engine: the card detection opens
// a card image mapped as a drive, the bridge recomputes the display settings from it, the source
// chooser lists its recordings into the main list.
#include "app/card_bridge.h"
#include "app/engine_player.h"
#include "card_fixture.h"
#include "engine/player.h"
#include "platform/drive_table.h"
#include "playback_test_fixture.h"
#include "store/boot_image.h"
#include "temp_folder.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>

namespace tavero::app {
namespace {

using tavero::testing::Packed;
using tavero::testing::TestCard;
using tavero::testing::TestRecord;

class NoPrompts final : public cardtools::CardToolPrompts {
public:
    bool AskLogin(std::string&, std::string&) override { return false; }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    bool AskYesNo(std::string_view question, std::string_view) override {
        messages.emplace_back(question);
        return false;
    }
    std::vector<std::string> messages;
};

TestRecord Record(std::uint32_t seq, std::uint32_t startUnit, int minute, int minutes,
                  std::uint8_t recStart) {
    TestRecord r;
    r.seq = seq;
    r.startUnit = startUnit;
    r.endUnit = startUnit + 9;
    r.startTime = Packed{2024, 5, 1, 8, minute, 0};
    r.endTime = Packed{2024, 5, 1, 8, minute + minutes, 0};
    r.recStart = recStart;
    return r;
}

class Road : public ::testing::Test {
protected:
    Road() {
        setenv("TZ", "UTC", 1);
        tzset();
        for (const char* d : {"sys/block", "dev"}) {
            std::filesystem::create_directories(m_dir / d);
        }
        { std::ofstream(m_dir / "mountinfo").flush(); }
        platform::SetSysfsRoot((m_dir / "sys").string());
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 4);
        m_card->initialiseIndex();
        m_card->writeRecord(0, Record(1, 1, 0, 10, 1));
        m_card->writeRecord(1, Record(2, 11, 10, 10, 0));
        m_card->writeRecord(2, Record(3, 21, 40, 5, 1));
        const auto boot = store::BootImage();
        m_card->writeAt(0, boot.data(), 512); // the recorder's partition table: no repair offer
        platform::SetDrivePath(2, m_card->path().string());
        m_folder.write("Config.ini", "[Config]\nSetEDR_Speed=1\n");
    }
    ~Road() override {
        platform::ClearDrivePaths();
        platform::SetSysfsRoot("");
    }

    tavero::testing::TempDir m_dir;
    test::TempFolder m_folder;
    std::unique_ptr<TestCard> m_card;
    engine::RecordingSink m_sink;
    std::unique_ptr<engine::COzuCtrl, void (*)(engine::COzuCtrl*)> m_control{
        engine::PlayerCreate(&m_sink), engine::PlayerDestroy};
    EnginePlayer m_player{m_control.get()};
    AppSettings m_settings{platform::programPathsInFolder(m_folder.path()), "en_US"};
    WindowState m_window;
    RecordingList m_list;
    std::vector<Outcome> m_applied;
    CardBridge m_bridge{m_settings, m_window, m_list,
                        CardBridgeHooks{[this](const Outcome& o) { m_applied.push_back(o); },
                                        [](const std::string&) { return std::string("CARD"); },
                                        {},
                                        {},
                                        {},
                                        {}}};
    SourceChooser m_chooser{m_player, m_list, m_window, m_bridge};
    test::FakePlaybackHost m_playHost;
    PlaybackControls m_controls{m_player, m_playHost, m_list, m_window};
    platform::SystemRoots m_roots{(m_dir / "sys").string(), (m_dir / "dev").string(),
                                  (m_dir / "mountinfo").string()};
    cardtools::CardDriveScanner m_scanner{m_roots};
    NoPrompts m_prompts;
    cardtools::CCardDetection m_detection{m_scanner, m_bridge, m_prompts};
};

TEST_F(Road, ChosenCardIsOpenedListedAndSetsTheDisplaySettings) {
    m_bridge.attach(&m_chooser, &m_controls, &m_detection);
    m_window.timeOffset = 999;
    ASSERT_TRUE(m_chooser.ChooseOtherDevice({m_card->path().string(), 0}));
    EXPECT_TRUE(m_prompts.messages.empty());
    EXPECT_EQ(m_detection.CurrentDrive(), 2);
    EXPECT_EQ(m_chooser.sourcePath(), "car2://2");
    EXPECT_EQ(m_chooser.sourceLocation(), m_card->path().string());
    EXPECT_EQ(m_chooser.volumeText(), "CARD (" + m_card->path().string() + ")");
    // No configuration sector on this card: the computer's zone (UTC here) and the program's
    // speed unit.
    EXPECT_EQ(m_window.timeOffset, 0);
    EXPECT_EQ(m_window.speedUnit, 1u);
    // A card whose sector cannot be read has no users to check, but unlocks nothing either.
    EXPECT_FALSE(m_controls.unlocked());

    ASSERT_EQ(m_chooser.rows().size(), 2u);
    EXPECT_EQ(m_chooser.rows()[0].start, "2024-05-01 08:00:00");
    EXPECT_EQ(m_chooser.rows()[0].end, "2024-05-01 08:20:00");
    EXPECT_EQ(m_chooser.rows()[0].duration, "00:20:00");
    EXPECT_EQ(m_chooser.rows()[1].start, "2024-05-01 08:40:00");
    EXPECT_EQ(m_list.size(), 2);
    EXPECT_FALSE(m_bridge.RecordingListEmpty());
    EXPECT_TRUE(m_applied.empty()); // nothing played, nothing stopped
    EXPECT_FALSE(m_bridge.CheckPlayedSource().stopPlayback);
}

TEST_F(Road, FileThatIsNoBackupFileGivesAnEmptyListAndAReason) {
    m_bridge.attach(&m_chooser, &m_controls, &m_detection);
    const std::string junk = (m_dir / "junk.sd").string();
    std::ofstream(junk) << "not a backup file";
    ASSERT_TRUE(m_chooser.OpenBackupFile(junk));
    EXPECT_EQ(m_detection.CurrentDrive(), -1);
    EXPECT_TRUE(m_chooser.rows().empty());
    EXPECT_THAT(m_chooser.lastProblem(), ::testing::StartsWith(junk + " holds no recordings"));
    EXPECT_GT(m_chooser.lastProblem().size(), junk.size() + 40); // with the store's reason
}

TEST_F(Road, ArrivalWithAutoPlayOffOpensNothing) {
    m_folder.write("Config.ini", "[Config]\nAutoPlay=0\n");
    m_bridge.attach(&m_chooser, &m_controls, &m_detection);
    m_chooser.ChooseKind(BackupSourceKind::RemovableStorage);
    m_detection.SetDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(0));
    m_detection.OnDeviceChange(cardtools::kDeviceArrival, true);
    EXPECT_TRUE(m_list.empty());
    EXPECT_TRUE(m_applied.empty());
    EXPECT_EQ(m_bridge.AutoPlaySetting(), 0);
    EXPECT_EQ(m_bridge.SourceKind(), BackupSourceKind::RemovableStorage);
}

TEST_F(Road, NoCardPlaysByItselfWhileTheFormatToolWrites) {
    bool formatting = true;
    CardBridge bridge{m_settings, m_window, m_list,
                      CardBridgeHooks{[this](const Outcome& o) { m_applied.push_back(o); },
                                      [](const std::string&) { return std::string("CARD"); },
                                      {},
                                      {},
                                      {},
                                      [&formatting] { return formatting; }}};
    EXPECT_EQ(bridge.AutoPlaySetting(), 0);
    formatting = false;
    EXPECT_EQ(bridge.AutoPlaySetting(), 1) << "the setting again once the tool is done";
}

} // namespace
} // namespace tavero::app
