#include "engine/source_type.h"

#include <gtest/gtest.h>

namespace tavero::engine {
namespace {

TEST(DetectSource, ClassifiesCardUrlsAndBackupFiles) {
    struct Case {
        const char* path;
        SourceType type;
        const char* host;
    };
    const Case cases[] = {
        {"car2://1", kSourceCard, "1"},
        {"  car2://4/extra  ", kSourceCard, "4"},
        {"car2://3:9", kSourceCard, "3"},
        {"CAR2://1", kSourceNone, "1"},
        {"http://1", kSourceNone, "1"},
        {"/media/backup/2024-05-01.sd", kSourceBackupFile, ""},
        {"/media/backup/2024-05-01.SD", kSourceOtherFile, ""},
        {".sd", kSourceBackupFile, ""},
        {"sd", kSourceOtherFile, ""},
        {"/media/backup/", kSourceOtherFile, ""},
        {"", kSourceNone, ""},
        {" \t\n", kSourceNone, ""},
    };
    for (const Case& c : cases) {
        const DetectedSource d = DetectSource(c.path);
        EXPECT_EQ(d.type, c.type) << "'" << c.path << "'";
        EXPECT_EQ(d.host, c.host) << "'" << c.path << "'";
    }
    EXPECT_EQ(DetectSource("  /x/y.sd \n").path, "/x/y.sd");
}

TEST(DetectSource, HostIsCutTo260Bytes) {
    const std::string longHost(400, '7');
    const DetectedSource d = DetectSource("car2://" + longHost);
    EXPECT_EQ(d.host.size(), kMaxHostBytes);
    EXPECT_EQ(CardDriveNumber(d), 7);
}

TEST(DetectSource, CardUrlRoundTripsItsDriveNumber) {
    for (unsigned n = 0; n <= 9; ++n) {
        const DetectedSource d = DetectSource(CardUrl(n));
        EXPECT_EQ(d.type, kSourceCard);
        EXPECT_EQ(CardDriveNumber(d), static_cast<int>(n));
    }
    EXPECT_EQ(CardDriveNumber(DetectSource("car2://x")), -1);
    EXPECT_EQ(CardDriveNumber(DetectSource("/a.sd")), -1);
    EXPECT_TRUE(IsPlayable(kSourceCard));
    EXPECT_TRUE(IsPlayable(kSourceBackupFile));
    EXPECT_FALSE(IsPlayable(kSourceOtherFile));
    EXPECT_FALSE(IsPlayable(kSourceNone));
}

} // namespace
} // namespace tavero::engine
