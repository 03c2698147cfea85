#include "mkcard/annexb_splitter.h"

#include <fstream>
#include <iterator>

namespace tavero::sim {

namespace {

constexpr uint8_t kNalSlice = 1;
constexpr uint8_t kNalIdr = 5;
constexpr uint8_t kNalSei = 6;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;
constexpr uint8_t kNalAud = 9;

bool isSlice(uint8_t type) {
    return type == kNalSlice || type == kNalIdr;
}

// NAL types that can only open an access unit (AUD, SEI, SPS, PPS and the reserved 14..18).
bool opensAccessUnit(uint8_t type) {
    return type == kNalAud || type == kNalSei || type == kNalSps || type == kNalPps ||
           (type >= 14 && type <= 18);
}

void appendWithStartCode(std::vector<uint8_t>& out, std::span<const uint8_t> nal) {
    static constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
    out.insert(out.end(), std::begin(kStartCode), std::end(kStartCode));
    out.insert(out.end(), nal.begin(), nal.end());
}

} // namespace

void AnnexBSplitter::split(std::span<const uint8_t> stream, std::vector<Picture>& out) {
    // Locate every NAL unit: a 3-byte start code 00 00 01, widened to 4 bytes when a zero
    // precedes it.
    std::vector<Nal> nals;
    for (size_t i = 0; i + 3 <= stream.size(); ++i) {
        if (stream[i] != 0 || stream[i + 1] != 0 || stream[i + 2] != 1)
            continue;
        Nal nal;
        nal.begin = i > 0 && stream[i - 1] == 0 ? i - 1 : i;
        nal.header = i + 3;
        if (!nals.empty())
            nals.back().end = nal.begin;
        nals.push_back(nal);
        i += 2;
    }
    if (nals.empty())
        return;
    nals.back().end = stream.size();
    std::vector<Nal> kept;
    for (Nal& nal : nals) {
        while (nal.end > nal.header && stream[nal.end - 1] == 0)
            --nal.end;
        if (nal.end <= nal.header)
            continue; // empty NAL: start codes back to back
        nal.type = stream[nal.header] & 0x1F;
        kept.push_back(nal);
    }

    std::vector<Nal> unit;
    bool unitHasSlice = false;
    for (const Nal& nal : kept) {
        bool startsNew = false;
        if (unitHasSlice && opensAccessUnit(nal.type))
            startsNew = true;
        // first_mb_in_slice is ue(v); its first bit is 1 exactly when the value is 0.
        if (unitHasSlice && isSlice(nal.type) && nal.end > nal.header + 1 &&
            (stream[nal.header + 1] & 0x80) != 0)
            startsNew = true;
        if (startsNew) {
            emit(stream, unit, out);
            unit.clear();
            unitHasSlice = false;
        }
        unit.push_back(nal);
        unitHasSlice = unitHasSlice || isSlice(nal.type);
    }
    if (unitHasSlice)
        emit(stream, unit, out);
}

void AnnexBSplitter::emit(std::span<const uint8_t> stream, const std::vector<Nal>& nals,
                          std::vector<Picture>& out) {
    Picture picture;
    bool hasSps = false;
    bool hasPps = false;
    for (const Nal& nal : nals) {
        const auto body = stream.subspan(nal.header, nal.end - nal.header);
        if (nal.type == kNalSps) {
            m_sps.assign(body.begin(), body.end());
            hasSps = true;
        } else if (nal.type == kNalPps) {
            m_pps.assign(body.begin(), body.end());
            hasPps = true;
        } else if (nal.type == kNalIdr) {
            picture.key = true;
        }
    }
    // A key picture must decode on its own: a reader may start or seek to any of them.
    if (picture.key && (!hasSps || !hasPps) && !m_sps.empty() && !m_pps.empty()) {
        if (!hasSps)
            appendWithStartCode(picture.bytes, m_sps);
        if (!hasPps)
            appendWithStartCode(picture.bytes, m_pps);
        ++m_repaired;
    }
    for (const Nal& nal : nals) {
        const auto whole = stream.subspan(nal.begin, nal.end - nal.begin);
        picture.bytes.insert(picture.bytes.end(), whole.begin(), whole.end());
    }
    out.push_back(std::move(picture));
}

bool splitAnnexBFile(const std::string& path, std::vector<Picture>& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open H.264 file " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                     std::istreambuf_iterator<char>());
    if (file.bad()) {
        error = "cannot read H.264 file " + path;
        return false;
    }
    AnnexBSplitter splitter;
    const size_t before = out.size();
    splitter.split(bytes, out);
    if (out.size() == before) {
        error = "no H.264 picture found in " + path;
        return false;
    }
    return true;
}

} // namespace tavero::sim
