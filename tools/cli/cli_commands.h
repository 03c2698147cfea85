#pragma once
// The commands of tavero-cli. Each prints its result to out and returns the exit status; a
// failure prints one line naming the source and the reason to err.

#include "engine/source_type.h"
#include "store/recording_entry.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavero::engine {
class COzuCtrl;
}

namespace tavero::cli {

struct CommandOptions {
    std::string source;
    bool json = false;
};

struct BackupOptions {
    std::string source;
    std::string output;
    std::vector<int> entries; // list numbers from 1; empty: use the time range
    std::int64_t from = 0;
    std::int64_t to = 0;
    // Non-empty: one file per recording, this + "_YYYY-MM-DD_HH-MM-SS.sd" of its start.
    std::string eachEntryPrefix;
};

struct PlayOptions {
    std::string source;
    int entry = 0;         // list number from 1; 0: the first, or the one holding --seek
    std::int64_t seek = 0; // seconds since 1970; 0: from the start
    double speed = 1.0;
    std::vector<int> channels; // channel numbers from 1; empty: all
    std::int64_t duration = 0; // seconds of each channel's pictures; 0: to the end
    bool unpaced = false;
    bool framemd5 = false;
    std::string wavOut;
    std::string snapshotDir;
    std::string script; // a play script's file, "-" for standard input; empty: none
    bool clock = false; // --framemd5 lines start with the milliseconds since the start
};

// Classifies a source text and checks it names something readable; prints the one-line failure.
[[nodiscard]] bool CheckSource(const std::string& text, std::FILE* err,
                               engine::DetectedSource& detected, std::string& name);
// Opens the source in a player control and loads its index; prints the one-line failure.
[[nodiscard]] bool OpenForCommand(const std::string& text, engine::COzuCtrl& control,
                                  std::FILE* err, std::string& name);

// The recordings of the opened source as `list` numbers them (from 1).
[[nodiscard]] std::vector<store::RecordingEntry> ListEntries(engine::COzuCtrl& control);

int RunInfo(const CommandOptions& options, std::FILE* out, std::FILE* err);
int RunList(const CommandOptions& options, std::FILE* out, std::FILE* err);
int RunUnits(const CommandOptions& options, std::FILE* out, std::FILE* err);
int RunPlay(const PlayOptions& options, std::FILE* out, std::FILE* err);
int RunBackup(const BackupOptions& options, std::FILE* out, std::FILE* err);
// The recording table of the backup dialog's "Load Path Length" into `output` (replaced when it
// exists).
int RunLengths(const CommandOptions& options, const std::string& output, std::FILE* out,
               std::FILE* err);
// Reads NMEA sentences from in, one a line.
int RunRmc(std::FILE* in, std::FILE* out);

} // namespace tavero::cli
