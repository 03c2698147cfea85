// The stream-copy AVI export: the file layout byte for byte, and exports of simulator cards and
// real streams read back picture by picture, by our reader and by FFmpeg.

#include "card_fixture.h"
#include "engine/notifications.h"
#include "engine/ozu_ctrl.h"
#include "engine/player.h"
#include "export/avi_file.h"
#include "export/export_workers.h"
#include "mkcard/card_writer.h"
#include "platform/drive_table.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>

namespace tavero {
namespace {

using exporting::CAviFile;
using exporting::CExportWorkers;

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Little-endian pieces of the expected file, written out field by field.
struct Expected {
    std::vector<std::uint8_t> bytes;
    void u16(std::uint32_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void text(const char* four) { bytes.insert(bytes.end(), four, four + 4); }
    void data(std::initializer_list<std::uint8_t> b) { bytes.insert(bytes.end(), b); }
};

TEST(AviFile, LayoutIsExactAndReadsBack) {
    testing::TempDir dir;
    const auto path = dir / "x.avi";
    CAviFile avi;
    ASSERT_TRUE(avi.Create(path.string(), 720, 576, 25)) << avi.lastError();
    const std::uint8_t key[5] = {0, 0, 0, 1, 0x65};
    const std::uint8_t predicted[4] = {0, 0, 1, 0x41};
    const std::uint8_t sound[7] = {1, 2, 3, 4, 5, 6, 7}; // the odd byte is not a sample
    ASSERT_TRUE(avi.WriteVideoFrame(key, true));
    ASSERT_TRUE(avi.WriteVideoFrame(predicted, false));
    ASSERT_TRUE(avi.WriteAudio(sound));
    ASSERT_TRUE(avi.Close()) << avi.lastError();

    Expected e;
    e.text("RIFF");
    e.u32(2136);
    e.text("AVI ");
    e.text("LIST");
    e.u32(292);
    e.text("hdrl");
    e.text("avih");
    e.u32(56);
    e.u32(40000); // µs per picture
    e.u32(52);    // the movi list's bytes over the (rounded up) one second
    e.u32(0);
    e.u32(0x110); // has an index, interleaved
    e.u32(2);     // pictures
    e.u32(0);
    e.u32(2); // streams
    e.u32(6); // largest chunk
    e.u32(720);
    e.u32(576);
    for (int i = 0; i < 4; ++i) {
        e.u32(0);
    }
    e.text("LIST");
    e.u32(116);
    e.text("strl");
    e.text("strh");
    e.u32(56);
    e.text("vids");
    e.text("AVC1");
    e.u32(0);
    e.u16(0);
    e.u16(0);
    e.u32(0);
    e.u32(1000);  // scale
    e.u32(25000); // rate: fps x 1000
    e.u32(0);
    e.u32(2); // length
    e.u32(5); // suggested buffer
    e.u32(0xFFFFFFFF);
    e.u32(0);
    e.u16(0);
    e.u16(0);
    e.u16(720);
    e.u16(576);
    e.text("strf");
    e.u32(40);
    e.u32(40);
    e.u32(720);
    e.u32(576);
    e.u16(1);
    e.u16(24);
    e.text("X264");
    e.u32(2160 * 576);
    for (int i = 0; i < 4; ++i) {
        e.u32(0);
    }
    e.text("LIST");
    e.u32(92);
    e.text("strl");
    e.text("strh");
    e.u32(56);
    e.text("auds");
    e.u32(0);
    e.u32(0);
    e.u16(0);
    e.u16(0);
    e.u32(0);
    e.u32(2);
    e.u32(16000);
    e.u32(0);
    e.u32(3); // samples
    e.u32(6);
    e.u32(0xFFFFFFFF);
    e.u32(2);
    for (int i = 0; i < 4; ++i) {
        e.u16(0);
    }
    e.text("strf");
    e.u32(16);
    e.u16(1);
    e.u16(1);
    e.u32(8000);
    e.u32(16000);
    e.u16(2);
    e.u16(16);
    e.text("JUNK");
    e.u32(static_cast<std::uint32_t>(2036 - e.bytes.size() - 4));
    e.bytes.resize(2036, 0);
    e.text("LIST");
    e.u32(44);
    e.text("movi");
    e.text("00dc");
    e.u32(5);
    e.data({0, 0, 0, 1, 0x65, 0});
    e.text("00dc");
    e.u32(4);
    e.data({0, 0, 1, 0x41});
    e.text("01wb");
    e.u32(6);
    e.data({1, 2, 3, 4, 5, 6});
    e.text("idx1");
    e.u32(48);
    e.text("00dc");
    e.u32(0x10);
    e.u32(4);
    e.u32(5);
    e.text("00dc");
    e.u32(0);
    e.u32(18);
    e.u32(4);
    e.text("01wb");
    e.u32(0x10);
    e.u32(30);
    e.u32(6);
    EXPECT_EQ(ReadFile(path), e.bytes);

    CAviFile in;
    ASSERT_TRUE(in.Open(path.string())) << in.lastError();
    EXPECT_EQ(in.width(), 720);
    EXPECT_EQ(in.height(), 576);
    EXPECT_TRUE(in.hasAudio());
    std::uint8_t buffer[16];
    std::size_t size = 4;
    EXPECT_FALSE(in.ReadVideoFrame(buffer, size)) << "too small a buffer";
    EXPECT_EQ(size, 5u);
    size = sizeof buffer;
    ASSERT_TRUE(in.ReadVideoFrame(buffer, size));
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + size),
              std::vector<std::uint8_t>(key, key + 5));
    size = sizeof buffer;
    ASSERT_TRUE(in.ReadVideoFrame(buffer, size));
    EXPECT_EQ(size, 4u);
    size = sizeof buffer;
    EXPECT_FALSE(in.ReadVideoFrame(buffer, size)) << "no third picture";
    size = 4;
    ASSERT_TRUE(in.ReadAudio(buffer, size));
    EXPECT_EQ(size, 4u);
    size = 4;
    ASSERT_TRUE(in.ReadAudio(buffer, size));
    EXPECT_EQ(size, 2u) << "the last sample";
    EXPECT_EQ(buffer[0], 5);
}

TEST(AviFile, RefusesWhatIsNotAnAviFileAndAnUnwritablePlace) {
    testing::TempDir dir;
    std::ofstream(dir / "short.avi") << "RIFF";
    std::ofstream(dir / "wave.avi") << std::string("RIFF\x10\0\0\0WAVEfmt ", 16);
    CAviFile avi;
    EXPECT_FALSE(avi.Open((dir / "short.avi").string()));
    EXPECT_FALSE(avi.Open((dir / "wave.avi").string()));
    EXPECT_FALSE(avi.Open((dir / "missing.avi").string()));
    EXPECT_FALSE(avi.Create((dir / "no" / "such" / "folder.avi").string(), 352, 288, 25));
    EXPECT_FALSE(avi.lastError().empty());
    // A file cut short (no index) is refused, not read past its end.
    ASSERT_TRUE(avi.Create((dir / "cut.avi").string(), 352, 288, 25));
    const std::uint8_t picture[3] = {1, 2, 3};
    ASSERT_TRUE(avi.WriteVideoFrame(picture, true));
    ASSERT_TRUE(avi.Close());
    auto bytes = ReadFile(dir / "cut.avi");
    bytes.resize(bytes.size() - 20);
    std::ofstream(dir / "cut.avi", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    EXPECT_FALSE(avi.Open((dir / "cut.avi").string()));
    // Found by fuzzing: a video format chunk claiming more bytes than the file holds was read
    // past the end of the file's buffer.
    const std::string cutFormat = std::string("RIFF\x30\0\0\0AVI LIST\x24\0\0\0hdrl", 20) +
                                  std::string("LIST\x18\0\0\0strlstrh\x04\0\0\0vids", 24) +
                                  std::string("strf\x28\0\0\0\x01\x02", 10);
    std::ofstream(dir / "format.avi", std::ios::binary) << cutFormat;
    EXPECT_FALSE(avi.Open((dir / "format.avi").string()));
}

// Sink that keeps the names given with the export's file notifications (valid only during the
// call) besides recording everything.
class NamingSink : public engine::RecordingSink {
public:
    void Post(std::uint32_t message, engine::COzuCtrl* control, std::int64_t lParam) override {
        if (message == engine::kMsgExportFileOpened || message == engine::kMsgExportFileClosed) {
            std::lock_guard guard(m_lock);
            (message == engine::kMsgExportFileOpened ? m_opened : m_closed)
                .emplace_back(reinterpret_cast<const char*>(lParam));
        }
        RecordingSink::Post(message, control, lParam);
    }
    std::vector<std::string> opened() const {
        std::lock_guard guard(m_lock);
        return m_opened;
    }
    std::vector<std::string> closed() const {
        std::lock_guard guard(m_lock);
        return m_closed;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_opened;
    std::vector<std::string> m_closed;
};

struct ControlDeleter {
    void operator()(engine::COzuCtrl* c) const { engine::PlayerDestroy(c); }
};

class AviExport : public ::testing::Test {
protected:
    // A card with two pattern channels (the first with sound) and one recording.
    void MakeCard(int gop, std::uint32_t seconds, std::uint8_t videoFormat = 0) {
        m_plan.outPath = (m_dir / "card.img").string();
        m_plan.blockCount = 16;
        sim::ChannelSpec a;
        a.channel = 0;
        a.width = 320;
        a.height = 240;
        a.fps = 25;
        a.gop = gop;
        a.videoFormat = videoFormat;
        a.audio.kind = sim::AudioKind::Tone;
        sim::ChannelSpec b = a;
        b.channel = 1;
        b.audio = {};
        b.width = 176;
        b.height = 144;
        m_plan.channels = {a, b};
        m_plan.recordings = {{{2024, 5, 1, 8, 0, 0}, seconds}};
        std::string error;
        ASSERT_TRUE(sim::writeCard(m_plan, m_manifest, error)) << error;
        platform::SetDrivePath(5, m_plan.outPath);
        m_control.reset(engine::PlayerCreate(&m_sink));
        m_workers = std::make_unique<CExportWorkers>(*m_control);
        engine::PlayerOpen(m_control.get(), "car2://5");
        m_first = engine::PlayerLoadIndex(m_control.get());
        ASSERT_NE(m_first, nullptr);
    }

    // Exports and waits for the end; the files are complete then.
    void Export(const std::string& out, std::int64_t from, std::int64_t to,
                std::vector<int> channels) {
        for (int c = 0; c < 8; ++c) {
            const bool ticked = std::find(channels.begin(), channels.end(), c) != channels.end();
            engine::PlayerSelectChannel(m_control.get(), c, 1, ticked ? 1 : 0);
        }
        ASSERT_TRUE(engine::PlayerExportRange(m_control.get(), out, m_first, 0, from, to))
            << m_control->lastError();
        const std::int64_t end = -1;
        ASSERT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 60000, &end));
        engine::PlayerClose(m_control.get());
    }

    std::vector<const sim::ManifestFrame*> Frames(int channel, sim::FrameMedia media) const {
        std::vector<const sim::ManifestFrame*> frames;
        for (const auto& f : m_manifest.channels[static_cast<std::size_t>(channel)].frames) {
            if (f.media == media) {
                frames.push_back(&f);
            }
        }
        return frames;
    }

    static std::vector<std::vector<std::uint8_t>> Pictures(const std::string& path) {
        CAviFile avi;
        EXPECT_TRUE(avi.Open(path)) << avi.lastError();
        std::vector<std::vector<std::uint8_t>> pictures;
        std::vector<std::uint8_t> buffer(1 << 20);
        for (std::size_t size = buffer.size(); avi.ReadVideoFrame(buffer.data(), size);
             size = buffer.size()) {
            pictures.emplace_back(buffer.begin(),
                                  buffer.begin() + static_cast<std::ptrdiff_t>(size));
        }
        return pictures;
    }

    // Where the pictures sit in the channel's stream: they must be a gap-free run of it.
    std::size_t RunStart(int channel,
                         const std::vector<std::vector<std::uint8_t>>& pictures) const {
        const auto frames = Frames(channel, sim::FrameMedia::Video);
        EXPECT_FALSE(pictures.empty());
        if (pictures.empty()) {
            return 0;
        }
        std::size_t at = 0;
        while (at < frames.size() && frames[at]->hash != sim::payloadHash(pictures.front())) {
            ++at;
        }
        EXPECT_LT(at, frames.size()) << "the first picture is not one the recorder wrote";
        for (std::size_t i = 0; i < pictures.size() && at + i < frames.size(); ++i) {
            EXPECT_EQ(frames[at + i]->hash, sim::payloadHash(pictures[i])) << "picture " << i;
        }
        EXPECT_LE(at + pictures.size(), frames.size());
        return at;
    }

    testing::TempDir m_dir;
    sim::CardSpec m_plan;
    sim::Manifest m_manifest;
    NamingSink m_sink;
    std::unique_ptr<engine::COzuCtrl, ControlDeleter> m_control;
    std::unique_ptr<CExportWorkers> m_workers;
    store::IndexRecord* m_first = nullptr;
};

TEST_F(AviExport, StartsAtTheFirstKeyPictureAndCopiesPicturesAndSoundUnchanged) {
    MakeCard(50, 10); // key pictures every 2 s
    // From 3 s in: the range starts inside a group, so its first pictures are predicted ones.
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "out" / "trip.avi").string(), start + 3, start + 8, {0});

    const auto files = m_workers->filesWritten();
    ASSERT_EQ(files, std::vector<std::string>{(m_dir / "out" / "trip1.avi").string()});
    const auto pictures = Pictures(files[0]);
    const std::size_t at = RunStart(0, pictures);
    const auto frames = Frames(0, sim::FrameMedia::Video);
    EXPECT_TRUE(frames[at]->key);
    ASSERT_GT(at, 0u);
    EXPECT_FALSE(frames[at - 1]->key) << "the pictures before the file's start are predicted ones";
    // Five seconds at 25 pictures/s, less the predicted pictures before the first key picture.
    EXPECT_GE(pictures.size(), 50u);
    EXPECT_LE(pictures.size(), 5u * 25 + 25);

    // The sound starts at the first picture's time (the sound read before that picture is not
    // lost, the sound from before it is cut off), then runs on gap-free, frame by frame, as the
    // recorder wrote it.
    const auto sound = Frames(0, sim::FrameMedia::Audio);
    const std::int64_t firstPictureUs = frames[at]->timestampUs;
    std::size_t s = 0;
    while (s + 1 < sound.size() && sound[s + 1]->timestampUs <= firstPictureUs) {
        ++s;
    }
    ASSERT_LE(sound[s]->timestampUs, firstPictureUs);
    const auto cut =
        static_cast<std::size_t>((firstPictureUs - sound[s]->timestampUs) * 8000 / 1'000'000) * 2;
    ASSERT_LT(cut, sound[s]->size) << "the sound frame that holds the first picture's time";
    CAviFile avi;
    ASSERT_TRUE(avi.Open(files[0]));
    ASSERT_TRUE(avi.hasAudio());
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t size = sound[s]->size - cut;
    ASSERT_TRUE(avi.ReadAudio(buffer.data(), size));
    ASSERT_EQ(size, sound[s]->size - cut) << "the file's sound begins with the rest of that frame";
    std::size_t matched = 0;
    for (++s; s < sound.size(); ++s) {
        size = sound[s]->size;
        if (!avi.ReadAudio(buffer.data(), size)) {
            break;
        }
        ASSERT_EQ(sim::payloadHash(std::span(buffer.data(), size)), sound[s]->hash)
            << "sound frame " << matched;
        ++matched;
    }
    EXPECT_GE(matched, 4u * 4) << "about four seconds of sound";

    // FFmpeg reads the file without complaint.
    if (std::system("command -v ffprobe >/dev/null 2>&1") == 0) {
        const std::string command =
            "ffprobe -v warning -show_entries stream=codec_name -of csv=p=0 '" + files[0] +
            "' 2>&1";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char line[256];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            output += line;
        }
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(output, "h264\npcm_s16le\n");
    }
}

TEST_F(AviExport, ChannelFilesAreNamedAndSplitAtTheLimit) {
    MakeCard(25, 8);
    m_workers->SetSplitBytes(60 * 1024);
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "trip.avi").string(), start, start + 8, {0, 1});

    const auto files = m_workers->filesWritten();
    ASSERT_GE(files.size(), 3u);
    EXPECT_EQ(files[0], (m_dir / "trip1.avi").string());
    EXPECT_EQ(files[1], (m_dir / "trip1 (2).avi").string());
    EXPECT_TRUE(std::find(files.begin(), files.end(), (m_dir / "trip2.avi").string()) !=
                files.end());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "trip3.avi"));
    // The pieces of channel 1 (index 0) together are one gap-free run; each starts with a key
    // picture.
    std::vector<std::vector<std::uint8_t>> all;
    const auto frames = Frames(0, sim::FrameMedia::Video);
    for (const std::string& f : files) {
        if (f.find("trip1") == std::string::npos) {
            continue;
        }
        auto pieces = Pictures(f);
        ASSERT_FALSE(pieces.empty());
        const std::size_t at = RunStart(0, pieces);
        EXPECT_TRUE(frames[at]->key) << f;
        all.insert(all.end(), pieces.begin(), pieces.end());
    }
    (void)RunStart(0, all);
    EXPECT_EQ(m_sink.opened().size(), files.size());
    EXPECT_EQ(m_sink.closed().size(), files.size());
    EXPECT_EQ(m_sink.opened().front(), (m_dir / "trip1").string()) << "names go without .avi";
}

TEST_F(AviExport, ResolutionCodeAndFrameRateSizeTheFile) {
    MakeCard(25, 3, 5); // video format 5: resolution code 2, 720 x 576
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "r.avi").string(), start, start + 3, {0});
    ASSERT_EQ(m_workers->filesWritten().size(), 1u);
    const auto bytes = ReadFile(m_dir / "r1.avi");
    ASSERT_GT(bytes.size(), 200u);
    auto le32 = [&](std::size_t at) {
        return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 |
               std::uint32_t{bytes[at + 2]} << 16 | std::uint32_t{bytes[at + 3]} << 24;
    };
    EXPECT_EQ(le32(64), 720u); // main header width
    EXPECT_EQ(le32(68), 576u);
    EXPECT_EQ(le32(0x84), 25000u) << "rate: the trailer's 25 pictures/s x 1000";
}

TEST_F(AviExport, AFullDiskEndsTheFileAndIsReported) {
    MakeCard(25, 10);
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 200 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "full.avi").string(), start, start + 10, {0});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(m_workers->failure().empty());
    EXPECT_LE(std::filesystem::file_size(m_dir / "full1.avi"), 200u * 1024);
    // Its index never made it: the file is not reported as finished, but what reached it
    // still plays.
    EXPECT_TRUE(m_workers->filesWritten().empty()) << "and no file after it";
    EXPECT_EQ(m_workers->filesIncomplete(),
              std::vector<std::string>{(m_dir / "full1.avi").string()});
    const auto bytes = ReadFile(m_dir / "full1.avi");
    ASSERT_GT(bytes.size(), 12u);
    const std::uint32_t riff = std::uint32_t{bytes[4]} | std::uint32_t{bytes[5]} << 8 |
                               std::uint32_t{bytes[6]} << 16 | std::uint32_t{bytes[7]} << 24;
    EXPECT_EQ(riff + 8, bytes.size()) << "the RIFF size covers exactly what is in the file";
    if (std::system("command -v ffprobe >/dev/null 2>&1") == 0) {
        const std::string command =
            "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=nb_read_frames -of csv=p=0 '" +
            (m_dir / "full1.avi").string() + "'";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        int frames = 0;
        EXPECT_EQ(std::fscanf(pipe, "%d", &frames), 1);
        pclose(pipe);
        EXPECT_GT(frames, 10) << "FFmpeg plays the pictures that were written";
    }
}

TEST_F(AviExport, ExistingFilesOfASplitAreRefusedAndKept) {
    MakeCard(25, 8);
    m_workers->SetSplitBytes(60 * 1024);
    const auto mine = m_dir / "trip1 (2).avi";
    { std::ofstream(mine) << "someone's own file"; }
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "trip.avi").string(), start, start + 8, {0});
    EXPECT_NE(m_workers->failure().find("trip1 (2).avi already exists"), std::string::npos)
        << m_workers->failure();
    const auto kept = ReadFile(mine);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "someone's own file");
}

TEST_F(AviExport, SoundOfEveryChannelsFileStartsAtItsFirstPicture) {
    // Channel 2 has no sound of its own: its file carries channel 1's, from the time of its own
    // first picture, though that sound was read before the picture.
    MakeCard(50, 10);
    const std::int64_t start = m_first->startSeconds();
    Export((m_dir / "sync.avi").string(), start + 3, start + 8, {1});
    const auto files = m_workers->filesWritten();
    ASSERT_EQ(files.size(), 1u);
    const auto pictures = Pictures(files[0]);
    const std::size_t at = RunStart(1, pictures);
    const std::int64_t firstPictureUs = Frames(1, sim::FrameMedia::Video)[at]->timestampUs;
    const auto sound = Frames(0, sim::FrameMedia::Audio);
    std::size_t s = 0;
    while (s + 1 < sound.size() && sound[s + 1]->timestampUs <= firstPictureUs) {
        ++s;
    }
    const auto cut =
        static_cast<std::size_t>((firstPictureUs - sound[s]->timestampUs) * 8000 / 1'000'000) * 2;
    CAviFile avi;
    ASSERT_TRUE(avi.Open(files[0]));
    ASSERT_TRUE(avi.hasAudio());
    std::vector<std::uint8_t> buffer(1 << 16);
    std::size_t size = sound[s]->size - cut;
    ASSERT_TRUE(avi.ReadAudio(buffer.data(), size));
    EXPECT_EQ(size, sound[s]->size - cut);
    size = sound[s + 1]->size;
    ASSERT_TRUE(avi.ReadAudio(buffer.data(), size));
    EXPECT_EQ(sim::payloadHash(std::span(buffer.data(), size)), sound[s + 1]->hash)
        << "the sound after the first picture's time follows without a gap";
}

TEST_F(AviExport, RefusedWithoutWorkersOrPath) {
    MakeCard(25, 2);
    m_workers.reset();
    const std::int64_t start = m_first->startSeconds();
    EXPECT_FALSE(engine::PlayerExportRange(m_control.get(), (m_dir / "a.avi").string(), m_first, 0,
                                           start, start + 2));
    EXPECT_FALSE(m_control->lastError().empty());
    m_workers = std::make_unique<CExportWorkers>(*m_control);
    EXPECT_FALSE(engine::PlayerExportRange(m_control.get(), "", m_first, 0, start, start + 2));
    EXPECT_FALSE(engine::PlayerExportRange(m_control.get(), (m_dir / "b.avi").string(), m_first, 0,
                                           start + 2, start));
    std::ofstream(m_dir / "file") << "x";
    EXPECT_FALSE(engine::PlayerExportRange(m_control.get(), (m_dir / "file" / "c.avi").string(),
                                           m_first, 0, start, start + 2))
        << "a path part that is a file";
}

} // namespace
} // namespace tavero

namespace tavero {
namespace {

TEST_F(AviExport, AListOfRecordsGoesIntoOneFilePerChannel) {
    m_plan.recordings = {{{2024, 5, 1, 8, 0, 0}, 3}, {{2024, 5, 1, 9, 0, 0}, 3}};
    // MakeCard keeps the recordings set here.
    m_plan.outPath = (m_dir / "card.img").string();
    m_plan.blockCount = 16;
    sim::ChannelSpec a;
    a.width = 160;
    a.height = 120;
    a.fps = 25;
    a.gop = 25;
    m_plan.channels = {a};
    std::string error;
    ASSERT_TRUE(sim::writeCard(m_plan, m_manifest, error)) << error;
    platform::SetDrivePath(5, m_plan.outPath);
    m_control.reset(engine::PlayerCreate(&m_sink));
    m_workers = std::make_unique<CExportWorkers>(*m_control);
    engine::PlayerOpen(m_control.get(), "car2://5");
    std::vector<store::IndexRecord*> records;
    for (store::IndexRecord* r = engine::PlayerLoadIndex(m_control.get()); r != nullptr;
         r = m_control->box().NextRecord(r)) {
        records.push_back(r);
    }
    ASSERT_GE(records.size(), 2u);
    ASSERT_TRUE(engine::PlayerExportList(m_control.get(), (m_dir / "l.avi").string(),
                                         records.data(), static_cast<int>(records.size())))
        << m_control->lastError();
    const std::int64_t end = -1;
    ASSERT_TRUE(m_sink.WaitFor(engine::kMsgEndOfStream, 60000, &end));
    engine::PlayerClose(m_control.get());

    ASSERT_EQ(m_workers->filesWritten(), std::vector<std::string>{(m_dir / "l1.avi").string()});
    const auto pictures = Pictures((m_dir / "l1.avi").string());
    const auto frames = Frames(0, sim::FrameMedia::Video);
    std::set<std::uint32_t> recordings;
    for (const auto& p : pictures) {
        const auto hash = sim::payloadHash(p);
        const auto it = std::find_if(frames.begin(), frames.end(),
                                     [&](const auto* f) { return f->hash == hash; });
        ASSERT_NE(it, frames.end()) << "a picture the recorder never wrote";
        recordings.insert((*it)->recording);
    }
    EXPECT_EQ(recordings.size(), 2u) << "both recordings are in the file";
    EXPECT_GE(pictures.size(), 2u * 3 * 25 - 4);
}

} // namespace
} // namespace tavero
