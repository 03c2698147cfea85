#pragma once
// The MD5 of a decoded picture as FFmpeg's framemd5 output gives it for planar YUV 4:2:0: the
// Y rows, then the U rows, then the V rows, each without its padding; 32 lower-case hex digits.

#include "engine/video_window.h"

#include <string>

namespace tavero::engine {

[[nodiscard]] std::string YuvPictureMd5(const YuvPicture& picture);

} // namespace tavero::engine
