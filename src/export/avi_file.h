#pragma once
// CAviFile: one AVI file of the stream-copy export, written and read back by this program.
// Written: a video stream ("vids", handler "AVC1", bitmap header with compression "X264") whose
// samples are the recorder's H.264 pictures unchanged, and, from the first sound on, a PCM
// stream (8000 Hz mono 16-bit); an "idx1" index at the end lets players seek. The header area
// is reserved at the front and completed at Close, so a stream can be added after pictures
// have been written.
//
// Threads: one owner at a time (the export worker serialises its callers).

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace tavero::exporting {

class CAviFile {
public:
    CAviFile() = default;
    CAviFile(const CAviFile&) = delete;
    CAviFile& operator=(const CAviFile&) = delete;
    virtual ~CAviFile();

    // Creates the file for writing; fps is whole pictures per second (1..31). An existing file is
    // never replaced: that fails.
    [[nodiscard]] virtual bool Create(const std::string& path, int width, int height, int fps);
    // Opens an existing file for reading: its first video stream (required) and first audio
    // stream (optional).
    [[nodiscard]] virtual bool Open(const std::string& path);
    // Writing: completes the headers and the index; false when that failed (the file may then
    // lack its index). Reading: forgets the file. Counters start again at 0.
    virtual bool Close();
    [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }

    // One picture at the next sample index; key marks it as a key frame in the index.
    [[nodiscard]] virtual bool WriteVideoFrame(std::span<const std::uint8_t> data, bool key);
    // PCM bytes (whole 16-bit samples) at the current sound position; the sound stream is
    // created by the first call.
    [[nodiscard]] virtual bool WriteAudio(std::span<const std::uint8_t> bytes);

    // The next picture. size: in, the buffer's capacity; out, the picture's size. False at the
    // end, on a read error, or when the buffer is too small (size then tells what is needed).
    [[nodiscard]] virtual bool ReadVideoFrame(std::uint8_t* buffer, std::size_t& size);
    // The next size / 2 samples of sound (fewer at the end); size out: the bytes read. False
    // when nothing is left or the file has no sound.
    [[nodiscard]] virtual bool ReadAudio(std::uint8_t* buffer, std::size_t& size);

    [[nodiscard]] const std::string& lastError() const { return m_error; }
    // Bytes of the file so far (headers, chunks), while writing.
    [[nodiscard]] std::uint64_t fileBytes() const { return m_end; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] int fps() const { return m_fps; }
    [[nodiscard]] bool hasAudio() const { return m_hasAudio; }
    [[nodiscard]] std::uint32_t videoFrames() const { return m_videoFrames; }

private:
    struct IndexEntry {
        std::uint32_t fourcc = 0;
        std::uint32_t flags = 0;
        std::uint32_t offset = 0; // of the chunk header, from the "movi" word
        std::uint32_t size = 0;
    };
    struct Sample {
        std::uint64_t offset = 0; // of the data, in the file
        std::uint32_t size = 0;
    };

    bool writeChunk(std::uint32_t fourcc, std::span<const std::uint8_t> data, std::uint32_t flags);
    // The header area; without the index, for a file whose index could not be written.
    std::vector<std::uint8_t> headerBytes(bool withIndex) const;
    bool fail(const std::string& what);
    bool parse();
    void reset();

    std::FILE* m_file = nullptr;
    bool m_writing = false;
    bool m_writeFailed = false; // a chunk write failed: the file ends at m_end
    std::string m_path;
    std::string m_error;
    int m_width = 0;
    int m_height = 0;
    int m_fps = 0;
    bool m_hasAudio = false;
    std::uint64_t m_end = 0; // writing: the end of the last chunk
    std::uint32_t m_videoFrames = 0;
    std::uint32_t m_maxVideoChunk = 0;
    std::uint64_t m_audioBytes = 0;
    std::uint32_t m_maxAudioChunk = 0;
    std::vector<IndexEntry> m_index;
    // Reading.
    std::vector<Sample> m_video;
    std::vector<Sample> m_audio;
    std::size_t m_nextVideo = 0;
    std::size_t m_nextAudio = 0;
    std::uint32_t m_audioChunkUsed = 0; // bytes of m_audio[m_nextAudio] already read
};

} // namespace tavero::exporting
