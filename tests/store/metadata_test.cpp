// GPS sentences and G-sensor samples.

#include "store/metadata.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace tavero::store {
namespace {

constexpr const char* kReference =
    "$GNRMC,083559.00,A,4717.11437,N,00833.91522,E,0.004,77.52,091202,,,A*57";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(ParseRmc, DecodesTheReferenceSentence) {
    GpsFix fix;
    ASSERT_TRUE(ParseRmc(kReference, fix));
    EXPECT_NEAR(fix.latitude, 47.285239, 1e-6);
    EXPECT_NEAR(fix.longitude, 8.565254, 1e-6);
    EXPECT_NEAR(fix.speed, 0.007408, 1e-9);
    EXPECT_DOUBLE_EQ(fix.course, 77.52);
    // Text in front of the sentence is ignored, and each out value may be left out.
    double lat = 0;
    EXPECT_TRUE(
        ParseRmc(std::string("garbage,1,2*") + kReference, &lat, nullptr, nullptr, nullptr));
    EXPECT_NEAR(lat, 47.285239, 1e-6);
}

TEST(ParseRmc, HemispheresNegate) {
    const std::string south = Replace(Replace(kReference, ",N,", ",S,"), ",E,", ",W,");
    GpsFix fix;
    ASSERT_TRUE(ParseRmc(south, fix));
    EXPECT_LT(fix.latitude, -47);
    EXPECT_LT(fix.longitude, -8);
}

TEST(ParseRmc, RejectsWhatIsNotAFix) {
    const std::string reference = kReference;
    const std::pair<std::string, std::string> cases[] = {
        {"status V", Replace(reference, ",A,", ",V,")},
        {"mode indicator N", Replace(reference, "A*57", "N*57")},
        {"leading zero of the longitude missing", Replace(reference, "00833.91522", "833.91522")},
        {"latitude without minutes point", Replace(reference, "4717.11437", "471711437")},
        {"bad hemisphere", Replace(reference, ",N,", ",X,")},
        {"empty hemisphere", Replace(reference, ",E,", ",,")},
        {"no checksum marker", Replace(reference, "*57", "")},
        {"other sentence", Replace(reference, "$GNRMC", "$GPGGA")},
        {"empty position (no fix yet)", "$GPRMC,,V,,,,,,,,,,N*53"},
        {"cut off before the position", "$GPRMC,083559.00,A*57"},
        // Found by fuzzing: damaged digits that name no place on the earth.
        {"latitude above 90 degrees", Replace(reference, "4717.11437", "9616.08810")},
        {"longitude above 180 degrees", Replace(reference, "00833.91522", "18133.91522")},
        {"negative degrees", Replace(reference, "4717.11437", "-117.11437")},
        {"empty text", ""},
    };
    for (const auto& [why, sentence] : cases) {
        double lat = 123.0;
        EXPECT_FALSE(ParseRmc(sentence, &lat, nullptr, nullptr, nullptr)) << why;
    }
}

TEST(ParseRmc, FailureLeavesValuesOfUnreachedFieldsAlone) {
    double lat = -1, lon = -1, speed = -1, course = -1;
    EXPECT_FALSE(ParseRmc(Replace(kReference, ",E,", ",Q,"), &lat, &lon, &speed, &course));
    EXPECT_NEAR(lat, 47.285239, 1e-6); // reached before the failing field
    EXPECT_EQ(speed, -1);
    EXPECT_EQ(course, -1);
}

TEST(ParseRmc, EmptySpeedAndCourseReadAsZero) {
    GpsFix fix;
    fix.course = 5;
    ASSERT_TRUE(ParseRmc("$GPRMC,1,A,4717.11437,N,00833.91522,E,,,091202,,,A*00", fix));
    EXPECT_EQ(fix.speed, 0);
    EXPECT_EQ(fix.course, 0);
}

// Real sentences from receivers, against the values an established GPS daemon decoded.
TEST(ParseRmc, AgreesWithTheReferenceDecoderOnRealSentences) {
    const std::filesystem::path file =
        std::filesystem::path(TAVERO_CORPUS_DIR) / "nmea" / "rmc_vectors.tsv";
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << "corpus not found at " << file;
    }
    std::ifstream in(file);
    std::string line;
    std::getline(in, line); // column titles
    int compared = 0;
    int refused = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> cols;
        std::stringstream row(line);
        for (std::string col; std::getline(row, col, '\t');) {
            cols.push_back(col);
        }
        if (cols.size() < 6 || cols[5].empty()) {
            continue; // reference left empty on purpose
        }
        GpsFix fix;
        const bool ok = ParseRmc(cols[0], fix);
        if (cols[5] == "V") {
            EXPECT_FALSE(ok) << cols[0];
            ++refused;
            continue;
        }
        ASSERT_TRUE(ok) << cols[0];
        EXPECT_NEAR(fix.latitude, std::stod(cols[1]), 1e-8) << cols[0];
        EXPECT_NEAR(fix.longitude, std::stod(cols[2]), 1e-8) << cols[0];
        EXPECT_NEAR(fix.speed, std::stod(cols[3]), 0.002) << cols[0];
        if (!cols[4].empty()) {
            EXPECT_NEAR(fix.course, std::stod(cols[4]), 1e-6) << cols[0];
        }
        ++compared;
    }
    EXPECT_GT(compared, 100);
    EXPECT_GT(refused, 20);
}

TEST(GSamples, ZeroAxisRepeatsItsLastValue) {
    UnitTrailer t;
    t.gCount = 3;
    t.gSamples[0] = {0, 5, 7};
    t.gSamples[1] = {3, 0, 0};
    t.gSamples[2] = {0, 0, 9};
    GSampleLists lists;
    AppendGSamples(t, lists);
    EXPECT_EQ(lists.x, (std::vector<std::int32_t>{0, 3, 3}));
    EXPECT_EQ(lists.y, (std::vector<std::int32_t>{5, 5, 5}));
    EXPECT_EQ(lists.z, (std::vector<std::int32_t>{7, 7, 9}));
    t.gCount = 255; // never past the 50 samples a trailer has
    AppendGSamples(t, lists);
    EXPECT_EQ(lists.size(), 53u);
}

TEST(GSamples, ImplausibleSamplesReadAsZero) {
    EXPECT_EQ(PlausibleSample({360, -360, 0}), (GSample{360, -360, 0}));
    EXPECT_EQ(PlausibleSample({1, 361, 2}), GSample{});
    EXPECT_EQ(PlausibleSample({1, 2, -400}), GSample{});
}

} // namespace
} // namespace tavero::store
