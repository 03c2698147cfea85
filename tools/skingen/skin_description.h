// What the skin consists of in one UI mode: every bitmap by id, with its kind, size and the
// details its painter needs. Sizes of controls come from the main window's control table, so the
// bitmaps fit the places the window gives them.
//
// Thread: plain data; built and read on one thread.
#pragma once

#include <string>
#include <vector>

namespace tavero::skingen {

enum class BitmapKind {
    Background,          // the whole window
    ButtonStrip,         // four frames side by side: normal, mouse over, pressed, disabled
    SliderTrack,         // four frames of a slider's track
    SliderThumb,         // a slider's thumb, one image
    MarkThumb,           // a thumb of the two-mark bar
    BitmapSliderChannel, // the volume bitmap slider's channel
    BitmapSliderThumb,   // its thumb
    GraphBackground,     // G-sensor graph
    CompassBackground,
    Needle, // drawn on black, the colour the compass treats as transparent
    UnitBadge,
};

enum class Icon {
    None,
    PrevFile,
    PrevFrame,
    BackwardPlay,
    Pause,
    Stop,
    Play,
    NextFrame,
    NextFile,
    Snapshot,
    Configuration,
    Backup,
    Playback,
    Format,
    MarkIn,
    MarkOut,
    VolumeDown,
    VolumeUp,
    FourChannels,
    EightChannels,
    Map,
    Wifi,
    VideoOrMap,
    Minimise,
    Close,
    SpeedDown,
    SpeedUp,
    RecordList,
    SettingList,
    MapTab,
};

enum class TrackStyle { Position, Speed, Volume, MarkBar };

struct SkinBitmap {
    int id = 0;
    int mode = 0;
    BitmapKind kind = BitmapKind::ButtonStrip;
    int width = 0; // of the whole bitmap (a strip is four frames wide)
    int height = 0;
    Icon icon = Icon::None;
    TrackStyle track = TrackStyle::Position;
    int layout = 8;      // backgrounds: 8 or 4 channels
    bool noMark = false; // backgrounds without the brand mark
    int unit = 0;        // badges: 0 km/h, 1 mph, 2 knots; mark thumbs: 0 in, 1 out
    int thumbWidth = 0;  // tracks: width of the thumb that runs on them (tick marks line up)
    std::string name;    // the control or element, for messages
};

// Scale of a UI mode against mode 0 (1.0, 0.75, 0.533).
[[nodiscard]] double modeScale(int mode);

// Every bitmap of one UI mode. `error` is set (and the list empty) when the control table asks
// for one id in two different shapes.
[[nodiscard]] std::vector<SkinBitmap> describeMode(int mode, std::string& error);

} // namespace tavero::skingen
