// Splits an H.264 Annex-B byte stream into pictures (access units) as the recorder stores them:
// one picture per video frame, and every key picture self-contained with SPS and PPS in front.
//
// Owned by one thread; keeps the last SPS and PPS seen across calls so that a stream fed in
// pieces (one encoder packet at a time) is treated like one file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavero::sim {

struct Picture {
    std::vector<uint8_t> bytes; // Annex-B, start codes included
    bool key = false;           // holds an IDR slice
};

class AnnexBSplitter {
public:
    // Appends the pictures of one complete piece of stream; the end of the piece ends the last
    // picture. Bytes in front of the first start code and trailing parameter sets without a slice
    // are dropped.
    void split(std::span<const uint8_t> stream, std::vector<Picture>& out);

    // Key pictures that lacked SPS or PPS and got the last seen ones put in front.
    [[nodiscard]] size_t repairedKeyPictures() const { return m_repaired; }

private:
    struct Nal {
        size_t begin = 0; // first byte of its start code
        size_t end = 0;   // one past its last byte, trailing zero bytes excluded
        size_t header = 0;
        uint8_t type = 0;
    };

    void emit(std::span<const uint8_t> stream, const std::vector<Nal>& nals,
              std::vector<Picture>& out);

    std::vector<uint8_t> m_sps; // NAL bytes without start code
    std::vector<uint8_t> m_pps;
    size_t m_repaired = 0;
};

// Reads a whole Annex-B file and splits it.
[[nodiscard]] bool splitAnnexBFile(const std::string& path, std::vector<Picture>& out,
                                   std::string& error);

} // namespace tavero::sim
