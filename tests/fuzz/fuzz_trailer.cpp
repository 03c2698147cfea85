// Fuzz target: validating and converting a unit trailer, and the frame header decoders.

#include <cstddef>
#include <cstdint>
#include <span>

#include "store/byte_io.h"
#include "store/frame_header.h"
#include "store/metadata.h"
#include "store/unit_trailer.h"

using namespace tavero::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const std::uint32_t diskId = size >= kTrailerSize ? LoadBe32(data + 504) : 0;
    if (ValidateTrailer(bytes, diskId)) {
        const UnitTrailer t = TrailerToHost(bytes);
        const auto back = TrailerToDisk(t);
        // Converting there and back must give the bytes that were read.
        for (std::size_t i = 0; i < kTrailerSize; ++i) {
            if (back[i] != data[i]) {
                __builtin_trap();
            }
        }
        GSampleLists lists;
        AppendGSamples(t, lists);
        GpsFix fix;
        (void)ParseRmc(t.gps(), fix);
    }
    if (size >= kFrameHeaderSize) {
        const FrameHeader h = ParseFrameHeader(bytes.first<kFrameHeaderSize>());
        (void)ItemCodeFor(h);
        (void)DecodeGFrame(bytes.subspan(kFrameHeaderSize));
        (void)DecodeTextPayload(bytes.subspan(kFrameHeaderSize));
    }
    return 0;
}
