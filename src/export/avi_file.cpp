#include "export/avi_file.h"

#include "store/byte_io.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace tavero::exporting {
namespace {

constexpr std::uint32_t FourCc(const char (&text)[5]) {
    return std::uint32_t{static_cast<std::uint8_t>(text[0])} |
           std::uint32_t{static_cast<std::uint8_t>(text[1])} << 8 |
           std::uint32_t{static_cast<std::uint8_t>(text[2])} << 16 |
           std::uint32_t{static_cast<std::uint8_t>(text[3])} << 24;
}

constexpr std::uint32_t kRiff = FourCc("RIFF");
constexpr std::uint32_t kAvi = FourCc("AVI ");
constexpr std::uint32_t kList = FourCc("LIST");
constexpr std::uint32_t kHdrl = FourCc("hdrl");
constexpr std::uint32_t kAvih = FourCc("avih");
constexpr std::uint32_t kStrl = FourCc("strl");
constexpr std::uint32_t kStrh = FourCc("strh");
constexpr std::uint32_t kStrf = FourCc("strf");
constexpr std::uint32_t kVids = FourCc("vids");
constexpr std::uint32_t kAuds = FourCc("auds");
constexpr std::uint32_t kJunk = FourCc("JUNK");
constexpr std::uint32_t kMovi = FourCc("movi");
constexpr std::uint32_t kIdx1 = FourCc("idx1");
constexpr std::uint32_t kVideoChunk = FourCc("00dc");
constexpr std::uint32_t kAudioChunk = FourCc("01wb");

constexpr std::uint32_t kKeyFrame = 0x10;    // index flag
constexpr std::uint32_t kAviHasIndex = 0x10; // main header flags
constexpr std::uint32_t kAviIsInterleaved = 0x100;

// The "LIST movi" header sits here; everything before it is the header area, completed at
// Close and padded with a JUNK chunk.
constexpr std::uint64_t kMoviListOffset = 2048 - 12;
constexpr std::uint64_t kMoviWordOffset = kMoviListOffset + 8;
// RIFF sizes are 32-bit; stay well inside them (the export splits files long before).
constexpr std::uint64_t kMaxFileBytes = 0xFFFF0000u;

constexpr std::uint32_t kSoundRate = 8000;

class ByteWriter {
public:
    void u16(std::uint32_t v) {
        m_bytes.push_back(static_cast<std::uint8_t>(v));
        m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    // Starts a chunk (or a LIST with its type); returns where its size goes.
    std::size_t open(std::uint32_t fourcc, std::uint32_t listType = 0) {
        u32(fourcc);
        const std::size_t at = m_bytes.size();
        u32(0);
        if (listType != 0) {
            u32(listType);
        }
        return at;
    }
    void close(std::size_t sizeAt) {
        store::StoreLe32(m_bytes.data() + sizeAt,
                         static_cast<std::uint32_t>(m_bytes.size() - sizeAt - 4));
    }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace

CAviFile::~CAviFile() {
    Close();
}

void CAviFile::reset() {
    m_file = nullptr;
    m_writing = false;
    m_writeFailed = false;
    m_hasAudio = false;
    m_end = 0;
    m_videoFrames = 0;
    m_maxVideoChunk = 0;
    m_audioBytes = 0;
    m_maxAudioChunk = 0;
    m_index.clear();
    m_video.clear();
    m_audio.clear();
    m_nextVideo = 0;
    m_nextAudio = 0;
    m_audioChunkUsed = 0;
}

bool CAviFile::fail(const std::string& what) {
    m_error = what + (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

bool CAviFile::Create(const std::string& path, int width, int height, int fps) {
    Close();
    m_error.clear();
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF || fps <= 0) {
        m_error = "unusable picture size or frame rate";
        return false;
    }
    errno = 0;
    // Never over a file that exists: an export replaces nobody's files. Unbuffered, so that a
    // write that fails (a full disk) leaves nothing pending behind the last complete chunk.
    m_file = std::fopen(path.c_str(), "w+bx");
    if (m_file == nullptr) {
        return fail(errno == EEXIST ? path + " already exists" : "cannot create " + path);
    }
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    m_writing = true;
    m_path = path;
    m_width = width;
    m_height = height;
    m_fps = fps;
    // The header area is written now (so a file cut short still starts like an AVI file) and
    // again with the final counts at Close.
    const std::vector<std::uint8_t> header = headerBytes(true);
    if (std::fwrite(header.data(), 1, header.size(), m_file) != header.size()) {
        fail("cannot write " + path);
        std::fclose(m_file);
        reset();
        return false;
    }
    m_end = header.size();
    return true;
}

std::vector<std::uint8_t> CAviFile::headerBytes(bool withIndex) const {
    ByteWriter w;
    const std::uint64_t total = m_end > 0 ? m_end : kMoviListOffset + 12;
    w.u32(kRiff);
    // Closed files: everything after these 8 bytes, the index included.
    const std::uint64_t riffSize = withIndex ? total + 8 + m_index.size() * 16 - 8 : total - 8;
    w.u32(static_cast<std::uint32_t>(riffSize));
    w.u32(kAvi);

    const std::size_t hdrl = w.open(kList, kHdrl);
    const std::size_t avih = w.open(kAvih);
    const std::uint32_t seconds = m_fps > 0
                                      ? (m_videoFrames + static_cast<std::uint32_t>(m_fps) - 1) /
                                            static_cast<std::uint32_t>(m_fps)
                                      : 0;
    const std::uint64_t moviBytes = total - kMoviListOffset;
    w.u32(m_fps > 0 ? 1000000u / static_cast<std::uint32_t>(m_fps) : 0); // µs per picture
    w.u32(static_cast<std::uint32_t>(seconds > 0 ? moviBytes / seconds : moviBytes)); // max bytes/s
    w.u32(0); // padding granularity
    w.u32(withIndex ? kAviHasIndex | kAviIsInterleaved : kAviIsInterleaved);
    w.u32(m_videoFrames);
    w.u32(0); // initial frames
    w.u32(m_hasAudio ? 2 : 1);
    w.u32(std::max(m_maxVideoChunk, m_maxAudioChunk));
    w.u32(static_cast<std::uint32_t>(m_width));
    w.u32(static_cast<std::uint32_t>(m_height));
    for (int i = 0; i < 4; ++i) {
        w.u32(0);
    }
    w.close(avih);

    // Video stream.
    const std::size_t videoList = w.open(kList, kStrl);
    const std::size_t videoHeader = w.open(kStrh);
    w.u32(kVids);
    w.u32(FourCc("AVC1"));
    w.u32(0); // flags
    w.u16(0); // priority
    w.u16(0); // language
    w.u32(0); // initial frames
    w.u32(1000);
    w.u32(static_cast<std::uint32_t>(m_fps) * 1000);
    w.u32(0); // start
    w.u32(m_videoFrames);
    w.u32(m_maxVideoChunk);
    w.u32(0xFFFFFFFF); // quality: default
    w.u32(0);          // sample size: varies
    w.u16(0);
    w.u16(0);
    w.u16(static_cast<std::uint32_t>(m_width));
    w.u16(static_cast<std::uint32_t>(m_height));
    w.close(videoHeader);
    const std::size_t videoFormat = w.open(kStrf);
    w.u32(40);
    w.u32(static_cast<std::uint32_t>(m_width));
    w.u32(static_cast<std::uint32_t>(m_height));
    w.u16(1);  // planes
    w.u16(24); // bits per pixel
    w.u32(FourCc("X264"));
    w.u32(((static_cast<std::uint32_t>(m_width) * 3 + 3) & ~3u) *
          static_cast<std::uint32_t>(m_height));
    for (int i = 0; i < 4; ++i) {
        w.u32(0); // resolution, colours used, important colours
    }
    w.close(videoFormat);
    w.close(videoList);

    if (m_hasAudio) {
        const std::size_t audioList = w.open(kList, kStrl);
        const std::size_t audioHeader = w.open(kStrh);
        w.u32(kAuds);
        w.u32(0); // handler
        w.u32(0);
        w.u16(0);
        w.u16(0);
        w.u32(0);
        w.u32(2);     // scale: bytes per sample...
        w.u32(16000); // ...rate: bytes per second, so 8000 samples per second
        w.u32(0);
        w.u32(static_cast<std::uint32_t>(m_audioBytes / 2));
        w.u32(m_maxAudioChunk);
        w.u32(0xFFFFFFFF);
        w.u32(2); // sample size
        w.u16(0);
        w.u16(0);
        w.u16(0);
        w.u16(0);
        w.close(audioHeader);
        const std::size_t audioFormat = w.open(kStrf);
        w.u16(1); // PCM
        w.u16(1); // mono
        w.u32(kSoundRate);
        w.u32(kSoundRate * 2);
        w.u16(2);  // block alignment
        w.u16(16); // bits per sample
        w.close(audioFormat);
        w.close(audioList);
    }
    w.close(hdrl);

    const std::size_t junk = w.open(kJunk);
    w.bytes().resize(kMoviListOffset, 0);
    w.close(junk);

    w.u32(kList);
    w.u32(static_cast<std::uint32_t>(total - kMoviListOffset - 8));
    w.u32(kMovi);
    return std::move(w.bytes());
}

bool CAviFile::writeChunk(std::uint32_t fourcc, std::span<const std::uint8_t> data,
                          std::uint32_t flags) {
    if (m_file == nullptr || !m_writing) {
        m_error = "no file is open for writing";
        return false;
    }
    const std::uint64_t padded = data.size() + (data.size() & 1);
    if (data.size() > std::numeric_limits<std::uint32_t>::max() ||
        m_end + 8 + padded + (m_index.size() + 1) * 16 + 8 > kMaxFileBytes) {
        m_error = "the AVI file would grow past 4 GiB";
        return false;
    }
    std::uint8_t head[8];
    store::StoreLe32(head, fourcc);
    store::StoreLe32(head + 4, static_cast<std::uint32_t>(data.size()));
    static constexpr std::uint8_t kPad = 0;
    errno = 0;
    if (std::fwrite(head, 1, 8, m_file) != 8 ||
        (!data.empty() && std::fwrite(data.data(), 1, data.size(), m_file) != data.size()) ||
        ((data.size() & 1) != 0 && std::fwrite(&kPad, 1, 1, m_file) != 1)) {
        // The chunk may be in the file in part; Close cuts it off again.
        m_writeFailed = true;
        return fail("cannot write " + m_path);
    }
    IndexEntry entry;
    entry.fourcc = fourcc;
    entry.flags = flags;
    entry.offset = static_cast<std::uint32_t>(m_end - kMoviWordOffset);
    entry.size = static_cast<std::uint32_t>(data.size());
    m_index.push_back(entry);
    m_end += 8 + padded;
    return true;
}

bool CAviFile::WriteVideoFrame(std::span<const std::uint8_t> data, bool key) {
    if (!writeChunk(kVideoChunk, data, key ? kKeyFrame : 0)) {
        return false;
    }
    ++m_videoFrames;
    m_maxVideoChunk = std::max(m_maxVideoChunk, static_cast<std::uint32_t>(data.size()));
    return true;
}

bool CAviFile::WriteAudio(std::span<const std::uint8_t> bytes) {
    bytes = bytes.first(bytes.size() & ~std::size_t{1}); // whole samples
    if (!writeChunk(kAudioChunk, bytes, kKeyFrame)) {
        return false;
    }
    m_hasAudio = true;
    m_audioBytes += bytes.size();
    m_maxAudioChunk = std::max(m_maxAudioChunk, static_cast<std::uint32_t>(bytes.size()));
    return true;
}

bool CAviFile::Close() {
    if (m_file == nullptr) {
        reset();
        return true;
    }
    bool ok = true;
    if (m_writing) {
        ByteWriter index;
        index.u32(kIdx1);
        index.u32(static_cast<std::uint32_t>(m_index.size() * 16));
        for (const IndexEntry& e : m_index) {
            index.u32(e.fourcc);
            index.u32(e.flags);
            index.u32(e.offset);
            index.u32(e.size);
        }
        const std::vector<std::uint8_t> header = headerBytes(true);
        errno = 0;
        ok = !m_writeFailed && std::fseek(m_file, static_cast<long>(m_end), SEEK_SET) == 0 &&
             std::fwrite(index.bytes().data(), 1, index.bytes().size(), m_file) ==
                 index.bytes().size() &&
             std::fseek(m_file, 0, SEEK_SET) == 0 &&
             std::fwrite(header.data(), 1, header.size(), m_file) == header.size() &&
             std::fflush(m_file) == 0;
        if (!ok) {
            if (!m_writeFailed) {
                fail("cannot finish " + m_path);
            }
            // Best effort: the chunks written so far, without an index, in the space the file
            // already has. Players find the pictures by reading the chunks in order.
            std::clearerr(m_file);
            (void)::ftruncate(::fileno(m_file), static_cast<off_t>(m_end));
            const std::vector<std::uint8_t> bare = headerBytes(false);
            (void)(std::fseek(m_file, 0, SEEK_SET) == 0 &&
                   std::fwrite(bare.data(), 1, bare.size(), m_file) == bare.size());
            std::fflush(m_file);
        }
    }
    if (std::fclose(m_file) != 0 && ok) {
        ok = fail("cannot finish " + m_path);
    }
    reset();
    return ok;
}

bool CAviFile::Open(const std::string& path) {
    Close();
    m_error.clear();
    errno = 0;
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file == nullptr) {
        return fail("cannot open " + path);
    }
    m_path = path;
    if (!parse()) {
        std::fclose(m_file);
        const std::string error = m_error;
        reset();
        m_error = error;
        return false;
    }
    return true;
}

bool CAviFile::parse() {
    // The headers and the index are read whole; the pictures stay in the file.
    if (std::fseek(m_file, 0, SEEK_END) != 0) {
        return fail("cannot read " + m_path);
    }
    const long length = std::ftell(m_file);
    if (length < 12 || static_cast<std::uint64_t>(length) > kMaxFileBytes + 16) {
        m_error = m_path + " is not an AVI file this program reads";
        return false;
    }
    std::vector<std::uint8_t> file(static_cast<std::size_t>(length));
    std::rewind(m_file);
    if (std::fread(file.data(), 1, file.size(), m_file) != file.size()) {
        return fail("cannot read " + m_path);
    }
    store::ByteReader r(file);
    if (r.le32() != kRiff || (r.skip(4), r.le32()) != kAvi) {
        m_error = m_path + " is not an AVI file";
        return false;
    }
    std::uint64_t moviWord = 0;
    std::size_t indexAt = 0;
    std::uint32_t indexSize = 0;
    int streamNumber = -1;
    int videoStream = -1;
    int audioStream = -1;
    std::uint32_t lastType = 0;
    // Walks chunks; LISTs "hdrl" and "strl" are entered, "movi" is only noted.
    while (!r.failed() && r.remaining() >= 8) {
        const std::size_t at = r.position();
        const std::uint32_t id = r.le32();
        const std::uint32_t size = r.le32();
        if (id == kList) {
            const std::uint32_t type = r.le32();
            if (type == kHdrl) {
                continue;
            }
            if (type == kStrl) {
                ++streamNumber;
                continue;
            }
            if (type == kMovi) {
                moviWord = at + 8;
            }
            r.seek(at + 8 + size + (size & 1));
            continue;
        }
        if (id == kStrh && r.remaining() >= 4) {
            lastType = store::LoadLe32(file.data() + r.position());
            if (lastType == kVids && videoStream < 0) {
                videoStream = streamNumber;
            } else if (lastType == kAuds && audioStream < 0) {
                audioStream = streamNumber;
            }
        } else if (id == kStrf && lastType == kVids && streamNumber == videoStream && size >= 12 &&
                   r.remaining() >= 12) {
            // (A chunk may claim more than the file holds: only what is there is read.)
            m_width = static_cast<int>(store::LoadLe32(file.data() + r.position() + 4));
            m_height = static_cast<int>(store::LoadLe32(file.data() + r.position() + 8));
        } else if (id == kIdx1) {
            indexAt = r.position();
            indexSize = size;
        }
        r.skip(size + (size & 1));
    }
    if (videoStream < 0 || moviWord == 0 || indexAt == 0 || indexAt + indexSize > file.size()) {
        m_error = m_path + " lacks a video stream or its index";
        return false;
    }
    auto chunkId = [](int stream, const char* kind) {
        return FourCc({static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10),
                       kind[0], kind[1], '\0'});
    };
    const std::uint32_t videoDc = chunkId(videoStream, "dc");
    const std::uint32_t videoDb = chunkId(videoStream, "db");
    const std::uint32_t audioWb = audioStream >= 0 ? chunkId(audioStream, "wb") : 0;
    for (std::size_t e = indexAt; e + 16 <= indexAt + indexSize; e += 16) {
        const std::uint32_t id = store::LoadLe32(file.data() + e);
        const std::uint64_t offset = moviWord + store::LoadLe32(file.data() + e + 8) + 8;
        const std::uint32_t size = store::LoadLe32(file.data() + e + 12);
        if (offset + size > file.size()) {
            m_error = m_path + ": the index points past the end of the file";
            return false;
        }
        if (id == videoDc || id == videoDb) {
            m_video.push_back({offset, size});
        } else if (audioWb != 0 && id == audioWb) {
            m_audio.push_back({offset, size});
        }
    }
    m_hasAudio = audioStream >= 0;
    m_videoFrames = static_cast<std::uint32_t>(m_video.size());
    return true;
}

bool CAviFile::ReadVideoFrame(std::uint8_t* buffer, std::size_t& size) {
    if (m_file == nullptr || m_writing || m_nextVideo >= m_video.size()) {
        size = 0;
        return false;
    }
    const Sample& s = m_video[m_nextVideo];
    if (size < s.size || buffer == nullptr) {
        size = s.size;
        return false;
    }
    errno = 0;
    if (std::fseek(m_file, static_cast<long>(s.offset), SEEK_SET) != 0 ||
        std::fread(buffer, 1, s.size, m_file) != s.size) {
        size = 0;
        return fail("cannot read " + m_path);
    }
    size = s.size;
    ++m_nextVideo;
    return true;
}

bool CAviFile::ReadAudio(std::uint8_t* buffer, std::size_t& size) {
    std::size_t wanted = size & ~std::size_t{1};
    size = 0;
    if (m_file == nullptr || m_writing || buffer == nullptr) {
        return false;
    }
    while (wanted > 0 && m_nextAudio < m_audio.size()) {
        const Sample& s = m_audio[m_nextAudio];
        const std::size_t take = std::min<std::size_t>(wanted, s.size - m_audioChunkUsed);
        errno = 0;
        if (std::fseek(m_file, static_cast<long>(s.offset + m_audioChunkUsed), SEEK_SET) != 0 ||
            std::fread(buffer + size, 1, take, m_file) != take) {
            return fail("cannot read " + m_path);
        }
        size += take;
        wanted -= take;
        m_audioChunkUsed += static_cast<std::uint32_t>(take);
        if (m_audioChunkUsed == s.size) {
            ++m_nextAudio;
            m_audioChunkUsed = 0;
        }
    }
    return size > 0;
}

} // namespace tavero::exporting
