#include "engine/picture_hash.h"

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

#include <cstdio>
#include <memory>

namespace tavero::engine {

std::string YuvPictureMd5(const YuvPicture& p) {
    struct Md5Deleter {
        void operator()(AVMD5* m) const { av_free(m); }
    };
    std::unique_ptr<AVMD5, Md5Deleter> md5(av_md5_alloc());
    if (!md5 || p.width <= 0 || p.height <= 0) {
        return {};
    }
    av_md5_init(md5.get());
    const int cw = (p.width + 1) / 2;
    const int ch = (p.height + 1) / 2;
    for (int y = 0; y < p.height; ++y) {
        av_md5_update(md5.get(), p.planes[0] + static_cast<std::ptrdiff_t>(y) * p.strides[0],
                      static_cast<std::size_t>(p.width));
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < ch; ++y) {
            av_md5_update(md5.get(),
                          p.planes[plane] + static_cast<std::ptrdiff_t>(y) * p.strides[plane],
                          static_cast<std::size_t>(cw));
        }
    }
    std::uint8_t digest[16];
    av_md5_final(md5.get(), digest);
    char text[33];
    for (int i = 0; i < 16; ++i) {
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    }
    return text;
}

} // namespace tavero::engine
