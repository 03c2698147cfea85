#include "skin_description.h"

#include "app/skin_layout.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <string_view>
#include <utility>

namespace tavero::skingen {

namespace {

using app::SkinControl;
using app::SkinControlKind;

struct IconOf {
    std::string_view control;
    Icon icon;
};

constexpr IconOf kIcons[] = {
    {"PrevFile", Icon::PrevFile},
    {"PrevFrame", Icon::PrevFrame},
    {"BackWardPlay", Icon::BackwardPlay},
    {"Pause", Icon::Pause},
    {"Stop", Icon::Stop},
    {"Play", Icon::Play},
    {"NextFrame", Icon::NextFrame},
    {"NextFile", Icon::NextFile},
    {"SnapShot", Icon::Snapshot},
    {"Configuration", Icon::Configuration},
    {"Backup", Icon::Backup},
    {"Playback", Icon::Playback},
    {"Format", Icon::Format},
    {"Markin", Icon::MarkIn},
    {"Markout", Icon::MarkOut},
    {"Min", Icon::VolumeDown},
    {"Max", Icon::VolumeUp},
    {"change to 4CH", Icon::FourChannels},
    {"change to 8CH", Icon::EightChannels},
    {"Map", Icon::Map},
    {"Wifi Setting", Icon::Wifi},
    {"DIT/MAP", Icon::VideoOrMap},
    {"Mini", Icon::Minimise},
    {"Close", Icon::Close},
    {"<<", Icon::SpeedDown},
    {">>", Icon::SpeedUp},
    {"Recording list", Icon::RecordList},
    {"Setting list", Icon::SettingList},
    {"Map view", Icon::MapTab},
};

Icon iconOf(std::string_view control) {
    for (const IconOf& row : kIcons) {
        if (row.control == control) {
            return row.icon;
        }
    }
    return Icon::None;
}

// Thumb sizes per mode (width, height), chosen to sit inside their tracks.
struct ThumbSizes {
    std::array<std::pair<int, int>, app::kSkinModeCount> size;
};
constexpr ThumbSizes kPositionThumb{{{{14, 20}, {11, 15}, {8, 11}}}};
constexpr ThumbSizes kSpeedThumb{{{{16, 26}, {12, 20}, {10, 16}}}};
constexpr ThumbSizes kMarkThumb{{{{12, 24}, {9, 18}, {7, 13}}}};
constexpr ThumbSizes kVolumeKnob{{{{22, 22}, {17, 17}, {13, 13}}}};

// Needles of the compass, fixed per mode.
constexpr std::array<std::pair<int, int>, app::kSkinModeCount> kNeedle{
    {{32, 142}, {23, 107}, {17, 76}}};

TrackStyle trackOf(std::string_view control) {
    if (control == "Speed") {
        return TrackStyle::Speed;
    }
    if (control == "Volume") {
        return TrackStyle::Volume;
    }
    return TrackStyle::Position;
}

const ThumbSizes& thumbOf(std::string_view control) {
    return control == "Position" ? kPositionThumb : kSpeedThumb;
}

SkinBitmap entry(int id, int mode, BitmapKind kind, int w, int h, std::string_view name) {
    SkinBitmap s;
    s.id = id;
    s.mode = mode;
    s.kind = kind;
    s.width = w;
    s.height = h;
    s.name = std::string(name);
    return s;
}

void describeControl(const SkinControl& c, int mode, std::vector<SkinBitmap>& out) {
    const app::SkinRect& r = c.rect[static_cast<std::size_t>(mode)];
    const auto m = static_cast<std::size_t>(mode);
    const int bitmap = c.bitmapId[m];
    switch (c.kind) {
    case SkinControlKind::Button: {
        SkinBitmap s = entry(bitmap, mode, BitmapKind::ButtonStrip, 4 * r.w, r.h, c.name);
        s.icon = iconOf(c.name);
        out.push_back(s);
        break;
    }
    case SkinControlKind::Slider: {
        const auto [tw, th] = thumbOf(c.name).size[m];
        SkinBitmap track = entry(bitmap, mode, BitmapKind::SliderTrack, 4 * r.w, r.h, c.name);
        track.track = trackOf(c.name);
        track.thumbWidth = tw;
        out.push_back(track);
        out.push_back(entry(c.thumbId[m], mode, BitmapKind::SliderThumb, tw, th, c.name));
        break;
    }
    case SkinControlKind::MarkBar: {
        const auto [tw, th] = kMarkThumb.size[m];
        SkinBitmap track = entry(bitmap, mode, BitmapKind::SliderTrack, 4 * r.w, r.h, c.name);
        track.track = TrackStyle::MarkBar;
        track.thumbWidth = tw;
        out.push_back(track);
        SkinBitmap in = entry(c.thumbId[m], mode, BitmapKind::MarkThumb, tw, th, c.name);
        in.unit = 0;
        out.push_back(in);
        SkinBitmap outMark = entry(c.thumb2Id[m], mode, BitmapKind::MarkThumb, tw, th, c.name);
        outMark.unit = 1;
        out.push_back(outMark);
        break;
    }
    case SkinControlKind::BitmapSlider: {
        const auto [tw, th] = kVolumeKnob.size[m];
        SkinBitmap channel = entry(bitmap, mode, BitmapKind::BitmapSliderChannel, r.w, r.h, c.name);
        channel.thumbWidth = tw;
        out.push_back(channel);
        out.push_back(entry(c.thumbId[m], mode, BitmapKind::BitmapSliderThumb, tw, th, c.name));
        break;
    }
    case SkinControlKind::UnitBadge:
        for (int unit = 0; unit < 3; ++unit) {
            SkinBitmap s = entry(app::unitBadgeBitmapId(mode, unit), mode, BitmapKind::UnitBadge,
                                 r.w, r.h, c.name);
            s.unit = unit;
            out.push_back(s);
        }
        break;
    case SkinControlKind::Graph:
        out.push_back(entry(bitmap, mode, BitmapKind::GraphBackground, r.w, r.h, c.name));
        break;
    case SkinControlKind::Compass: {
        out.push_back(entry(bitmap, mode, BitmapKind::CompassBackground, r.w, r.h, c.name));
        const auto [nw, nh] = kNeedle[m];
        out.push_back(entry(c.thumbId[m], mode, BitmapKind::Needle, nw, nh, "Needle"));
        break;
    }
    case SkinControlKind::SegmentDisplay:
    case SkinControlKind::DayStrip:
    case SkinControlKind::Calendar:
        break; // drawn by their controls
    }
}

} // namespace

double modeScale(int mode) {
    const app::SkinSize size = app::skinWindowSize(mode);
    return size.w / 1920.0;
}

std::vector<SkinBitmap> describeMode(int mode, std::string& error) {
    std::vector<SkinBitmap> out;
    const app::SkinSize window = app::skinWindowSize(mode);
    for (int layout : {8, 4}) {
        for (bool noMark : {false, true}) {
            SkinBitmap s = entry(app::backgroundBitmapId(mode, layout, noMark), mode,
                                 BitmapKind::Background, window.w, window.h, "Background");
            s.layout = layout;
            s.noMark = noMark;
            out.push_back(s);
        }
    }
    for (const SkinControl& c : app::skinControls()) {
        describeControl(c, mode, out);
    }
    // One id, one picture: the same bitmap asked for twice must be asked for in one shape.
    std::map<int, const SkinBitmap*> seen;
    std::vector<SkinBitmap> unique;
    for (const SkinBitmap& s : out) {
        const auto it = seen.find(s.id);
        if (it == seen.end()) {
            seen.emplace(s.id, &s);
            continue;
        }
        const SkinBitmap& first = *it->second;
        if (first.kind != s.kind || first.width != s.width || first.height != s.height ||
            first.icon != s.icon) {
            error = "bitmap " + std::to_string(s.id) + " of mode " + std::to_string(mode) +
                    " is asked for by " + first.name + " and " + s.name + " in different shapes";
            return {};
        }
    }
    for (const auto& [id, s] : seen) {
        unique.push_back(*s);
    }
    return unique;
}

} // namespace tavero::skingen
