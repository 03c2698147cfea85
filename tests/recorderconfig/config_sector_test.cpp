// The configuration sector on a card image: exact bytes written, what a read keeps and what it
// replaces by the default sector, and the card-user check against it.

#include "card_fixture.h"
#include "expected_bytes.h"
#include "platform/drive_table.h"
#include "recorderconfig/card_users.h"
#include "recorderconfig/config_sector.h"

#include <deque>
#include <filesystem>
#include <gtest/gtest.h>

namespace tavero::testing {
namespace {

using recorderconfig::ConfigSector;

constexpr int kDrive = 7;
constexpr std::int64_t kSectorOffset = 0xA000000;

class ConfigSectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_card = std::make_unique<TestCard>(m_dir / "card.img", 1, 4242);
        platform::SetDrivePath(kDrive, m_card->path().string());
    }
    void TearDown() override { platform::SetDrivePath(kDrive, ""); }

    void PutSector(const Bytes512& bytes) {
        m_card->writeAt(kSectorOffset, bytes.data(), bytes.size());
    }
    ByteVec SectorOnCard() const { return FileBytesAt(m_card->path(), kSectorOffset, 512); }

    TempDir m_dir;
    std::unique_ptr<TestCard> m_card;
};

TEST_F(ConfigSectorTest, WriteStoresBigEndianFieldsAndBothChecksums) {
    ConfigSector s;
    s.videoFormat = 1;
    s.frameRate = 30;
    s.videoQuality = 2;
    s.parkFrameRate = 5;
    s.fixedTable.fill(10);
    s.parkMode = 49;
    s.fixedOne = 1;
    s.zoneCode = 18;
    recorderconfig::SetFieldText(s.plate,
                                 "\x8A"
                                 "BC",
                                 false);
    recorderconfig::SetFieldText(s.user1Name, "anna");
    recorderconfig::SetFieldText(s.user1Password, "secret");
    recorderconfig::SetFieldText(s.user2Name, "bob");
    s.blockZoneCode = 18;
    s.speedUnit = 2;
    s.layoutMark = {'1', '0', '0', '0'};
    s.zoneSeconds = 63900;
    s.playbackPassword = {'1', '2', '3', '4'};
    s.diskId = 4242;
    ASSERT_TRUE(recorderconfig::WriteConfigSector(kDrive, s));

    SectorFields f;
    f.videoFormat = 1;
    f.frameRate = 30;
    f.videoQuality = 2;
    f.parkFrameRate = 5;
    f.parkMode = 49;
    f.fixedOne = 1;
    f.zoneCode = 18;
    f.plate = "\x8A"
              "BC";
    f.user1Name = "anna";
    f.user1Password = "secret";
    f.user2Name = "bob";
    f.blockZoneCode = 18;
    f.speedUnit = 2;
    f.layoutMark = "1000";
    f.zoneSeconds = 63900;
    f.playbackPassword = "1234";
    f.diskId = 4242;
    const Bytes512 expected = SectorBytes(f);
    EXPECT_EQ(SectorOnCard(), ByteVec(expected.begin(), expected.end()));
    // The caller's image stays in host order and now carries both magics.
    EXPECT_EQ(s.frameRate, 30u);
    EXPECT_EQ(s.magic, 0xABABABABu);
    EXPECT_EQ(s.recordMagic, 0xABCDAA55u);

    ConfigSector back;
    ASSERT_TRUE(recorderconfig::ReadConfigSector(kDrive, back));
    EXPECT_EQ(back, s);
}

TEST_F(ConfigSectorTest, DefaultSectorBytes) {
    ConfigSector s;
    recorderconfig::MakeDefaultConfigSector(s, 4242);
    ASSERT_TRUE(recorderconfig::WriteConfigSector(kDrive, s));
    SectorFields f; // frame rate 15, fixed table 10, the rest zero
    f.diskId = 4242;
    const Bytes512 expected = SectorBytes(f);
    EXPECT_EQ(SectorOnCard(), ByteVec(expected.begin(), expected.end()));
}

TEST_F(ConfigSectorTest, ForeignDiskIdentifierReadsAsDefaultWithTheCardsIdentifier) {
    SectorFields f;
    f.frameRate = 30;
    f.user1Name = "anna";
    f.user1Password = "pw";
    f.diskId = 9999;
    PutSector(SectorBytes(f));
    ConfigSector s;
    std::string why;
    EXPECT_FALSE(recorderconfig::ReadConfigSector(kDrive, s, &why));
    ConfigSector expected;
    recorderconfig::MakeDefaultConfigSector(expected, 4242);
    EXPECT_EQ(s, expected);
    EXPECT_NE(why.find("another card"), std::string::npos) << why;
}

TEST_F(ConfigSectorTest, BadInnerChecksumDropsOnlyTheSettingRecord) {
    SectorFields f;
    f.videoFormat = 1;
    f.frameRate = 30;
    f.plate = "XYZ";
    f.user1Name = "anna";
    f.user1Password = "pw";
    f.user2Name = "bob";
    f.user2Password = "pw2";
    f.blockZoneCode = 14;
    f.speedUnit = 1;
    f.layoutMark = "1000";
    f.zoneSeconds = 46800;
    f.diskId = 4242;
    f.breakRecordChecksum = true;
    PutSector(SectorBytes(f));
    ConfigSector s;
    EXPECT_TRUE(recorderconfig::ReadConfigSector(kDrive, s));
    EXPECT_EQ(s.magic, 0xABABABABu);
    EXPECT_EQ(s.recordMagic, 0u);
    EXPECT_EQ(s.videoFormat, 0u);
    EXPECT_EQ(s.frameRate, 0u);
    EXPECT_EQ(s.fixedTable[0], 0u);
    EXPECT_EQ(recorderconfig::FieldText(s.plate), "");
    EXPECT_EQ(recorderconfig::FieldText(s.user1Name), "anna");
    EXPECT_EQ(recorderconfig::FieldText(s.user2Password), "pw2");
    EXPECT_EQ(s.blockZoneCode, 14u);
    EXPECT_EQ(s.speedUnit, 1u);
    EXPECT_EQ(s.zoneSeconds, 46800u);
    EXPECT_EQ(s.diskId, 4242u);
}

TEST_F(ConfigSectorTest, DamagedOrMissingSectorReadsAsDefault) {
    struct Case {
        const char* name;
        void (*damage)(Bytes512&);
    };
    const Case cases[] = {
        {"outer checksum", [](Bytes512& b) { b[300] ^= 0x40; }},
        {"magic",
         [](Bytes512& b) {
             b[0] = 0;
             Seal(b);
         }},
        {"never written", [](Bytes512& b) { b.fill(0); }},
    };
    for (const Case& c : cases) {
        SectorFields f;
        f.frameRate = 30;
        f.user1Password = "pw";
        f.diskId = 4242;
        Bytes512 bytes = SectorBytes(f);
        c.damage(bytes);
        PutSector(bytes);
        ConfigSector s;
        EXPECT_FALSE(recorderconfig::ReadConfigSector(kDrive, s)) << c.name;
        EXPECT_EQ(s.frameRate, 15u) << c.name;
        EXPECT_EQ(s.user1Password[0], 0) << c.name;
        EXPECT_EQ(s.diskId, 4242u) << c.name;
        EXPECT_EQ(s.magic, 0xABABABABu) << c.name;
    }
}

TEST_F(ConfigSectorTest, CardWithoutDiskInformationIsInvalid) {
    SectorFields f;
    f.diskId = 4242;
    PutSector(SectorBytes(f));
    m_card->corruptDiskInfoB();
    ConfigSector s;
    EXPECT_FALSE(recorderconfig::ReadConfigSector(kDrive, s));
    EXPECT_EQ(s.magic, 0xABABABABu);
}

TEST_F(ConfigSectorTest, MissingDriveFailsWithoutCreatingAFile) {
    const auto missing = m_dir / "absent.img";
    platform::SetDrivePath(kDrive, missing.string());
    ConfigSector s;
    recorderconfig::MakeDefaultConfigSector(s, 1);
    std::string why;
    EXPECT_FALSE(recorderconfig::WriteConfigSector(kDrive, s, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_FALSE(recorderconfig::ReadConfigSector(kDrive, s));
    EXPECT_EQ(s.magic, 0xABABABABu);
}

TEST_F(ConfigSectorTest, ShortImageFailsTheWrite) {
    const auto small = m_dir / "small.img";
    WriteFileBytes(small, ByteVec(4096, 0));
    platform::SetDrivePath(kDrive, small.string());
    ConfigSector s;
    recorderconfig::MakeDefaultConfigSector(s, 1);
    // Writing past the end would only grow an image that is no card.
    EXPECT_FALSE(recorderconfig::WriteConfigSector(kDrive, s));
    EXPECT_EQ(std::filesystem::file_size(small), 4096u);
}

TEST(ZoneCode, WholeHoursMapToRecorderCodes) {
    const std::pair<int, std::uint32_t> table[] = {{0, 1},   {-1, 2},  {-12, 13}, {1, 14}, {5, 18},
                                                   {12, 25}, {13, 25}, {14, 25},  {-3, 4}};
    for (const auto& [hours, code] : table) {
        EXPECT_EQ(recorderconfig::ZoneCodeForHours(hours), code) << hours;
    }
    EXPECT_EQ(recorderconfig::ZoneHoursForCode(18), 5);
    EXPECT_EQ(recorderconfig::ZoneHoursForCode(4), -3);
    EXPECT_EQ(recorderconfig::ZoneHoursForCode(0), 0);
}

// A prompt that answers from a queue and records the messages shown.
class ScriptedPrompt : public recorderconfig::LoginPrompt {
public:
    struct Answer {
        bool ok;
        std::string name, password;
    };
    explicit ScriptedPrompt(std::deque<Answer> answers) : m_answers(std::move(answers)) {}
    bool AskLogin(std::string& name, std::string& password) override {
        ++asked;
        if (m_answers.empty()) {
            return false;
        }
        const Answer a = m_answers.front();
        m_answers.pop_front();
        name = a.name;
        password = a.password;
        return a.ok;
    }
    void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
    int asked = 0;
    std::vector<std::string> messages;

private:
    std::deque<Answer> m_answers;
};

TEST(CardUsers, PasswordCheck) {
    ConfigSector sector;
    recorderconfig::MakeDefaultConfigSector(sector, 1);
    recorderconfig::SetFieldText(sector.user1Name, "Anna");
    recorderconfig::SetFieldText(sector.user1Password, "one");
    recorderconfig::SetFieldText(sector.user2Name, "bob"); // no password: can never log in

    struct Case {
        const char* what;
        ScriptedPrompt::Answer answer;
        bool passes;
        bool message;
    };
    const Case cases[] = {
        {"user 1", {true, "Anna", "one"}, true, false},
        {"name in other case", {true, "anna", "one"}, false, true},
        {"user 2 without password", {true, "bob", ""}, false, true},
        {"user 1 with user 2's (empty) password", {true, "Anna", ""}, false, true},
        {"cancel", {false, "Anna", "one"}, false, false},
    };
    for (const Case& c : cases) {
        ScriptedPrompt prompt({c.answer});
        EXPECT_EQ(recorderconfig::CheckCardPassword(sector, prompt), c.passes) << c.what;
        EXPECT_EQ(prompt.asked, 1) << c.what;
        EXPECT_EQ(prompt.messages.size(), c.message ? 1u : 0u) << c.what;
        if (c.message) {
            EXPECT_EQ(prompt.messages[0], "Password Protected! Please input right password...");
        }
    }
}

TEST(CardUsers, SecondUsersPasswordDoesNotOpenTheFirst) {
    ConfigSector sector;
    recorderconfig::MakeDefaultConfigSector(sector, 1);
    recorderconfig::SetFieldText(sector.user1Name, "anna");
    recorderconfig::SetFieldText(sector.user1Password, "one");
    recorderconfig::SetFieldText(sector.user2Name, "bob");
    recorderconfig::SetFieldText(sector.user2Password, "two");
    ScriptedPrompt wrong({{true, "anna", "two"}});
    EXPECT_FALSE(recorderconfig::CheckCardPassword(sector, wrong));
    ScriptedPrompt right({{true, "bob", "two"}});
    EXPECT_TRUE(recorderconfig::CheckCardPassword(sector, right));
}

TEST(CardUsers, NoPasswordsPassWithoutAsking) {
    ConfigSector sector;
    recorderconfig::MakeDefaultConfigSector(sector, 1);
    recorderconfig::SetFieldText(sector.user1Name, "anna");
    ScriptedPrompt prompt({});
    EXPECT_TRUE(recorderconfig::CheckCardPassword(sector, prompt));
    EXPECT_EQ(prompt.asked, 0);
}

} // namespace
} // namespace tavero::testing
