#include "app/file_browser.h"

#include "recorderconfig/config_sector.h"
#include "store/record_index.h"
#include "store/recording_entry.h"
#include "recorderconfig/page_lists.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tavero::app {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = ".sd";

bool HasSuffix(std::string_view name) {
    return name.size() > kSuffix.size() && name.substr(name.size() - kSuffix.size()) == kSuffix;
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool ReadNumber(std::string_view& text, int& out) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    if (ec != std::errc() || p == text.data()) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(p - text.data()));
    return true;
}

// Regular files only: a link is neither followed nor listed.
bool IsPlainFile(const fs::directory_entry& e) {
    std::error_code ec;
    return e.is_regular_file(ec) && !e.is_symlink(ec);
}

std::vector<std::string> DatedFiles(const std::string& folder,
                                    bool (*keep)(CivilDay, CivilDay, CivilDay), CivilDay a,
                                    CivilDay b) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (!IsPlainFile(e) || !HasSuffix(name)) {
            continue;
        }
        const std::optional<CivilDay> day = BackupFileDate(name);
        if (day && keep(*day, a, b)) {
            found.push_back(e.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::optional<CivilDay> MakeCivilDay(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return std::nullopt;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = month == 2 && leap ? 29 : kDays[month - 1];
    if (day > last) {
        return std::nullopt;
    }
    return CivilDay{DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))};
}

CivilDay CivilDayOfLocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return *MakeCivilDay(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::string CivilDayText(CivilDay day) {
    // The inverse of DaysFromCivil.
    const std::int64_t z = day.days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
    return text;
}

std::optional<CivilDay> BackupFileDate(std::string_view fileName) {
    std::string_view title = fileName;
    if (HasSuffix(title)) {
        title.remove_suffix(kSuffix.size());
    }
    const std::size_t first = title.find('_');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view piece = title.substr(first + 1);
    piece = piece.substr(0, piece.find('_'));
    int year = 0;
    int month = 0;
    int day = 0;
    if (!ReadNumber(piece, year) || piece.empty() || piece.front() != '-') {
        return std::nullopt;
    }
    piece.remove_prefix(1);
    if (!ReadNumber(piece, month) || piece.empty() || piece.front() != '-') {
        return std::nullopt;
    }
    piece.remove_prefix(1);
    if (!ReadNumber(piece, day)) {
        return std::nullopt;
    }
    return MakeCivilDay(year, month, day);
}

std::vector<Subfolder> ListSubfolders(const std::string& folder) {
    std::vector<Subfolder> folders;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::error_code typeError;
        if (e.is_directory(typeError) && !e.is_symlink(typeError)) {
            folders.push_back({e.path().filename().string(), e.path().string()});
        }
    }
    std::sort(folders.begin(), folders.end(),
              [](const Subfolder& a, const Subfolder& b) { return a.name < b.name; });
    return folders;
}

std::vector<std::string> FindBackupFiles(const std::string& folder, CivilDay from,
                                         CivilDay until) {
    return DatedFiles(
        folder, [](CivilDay d, CivilDay a, CivilDay b) { return a <= d && d < b; }, from, until);
}

std::vector<std::string> OldBackupFiles(const std::string& folder, CivilDay cutoff) {
    auto before = [](CivilDay d, CivilDay cut, CivilDay) { return d < cut; };
    std::vector<std::string> found = DatedFiles(folder, before, cutoff, cutoff);
    for (const Subfolder& sub : ListSubfolders(folder)) {
        const std::vector<std::string> more = DatedFiles(sub.path, before, cutoff, cutoff);
        found.insert(found.end(), more.begin(), more.end());
    }
    return found;
}

int RemoveFiles(const std::vector<std::string>& paths) {
    int removed = 0;
    for (const std::string& path : paths) {
        std::error_code ec;
        // Checked again at the moment of removal: only a plain file goes.
        const fs::file_status status = fs::symlink_status(path, ec);
        if (!ec && fs::is_regular_file(status) && fs::remove(path, ec) && !ec) {
            ++removed;
        }
    }
    return removed;
}

CivilDay DeleteCutoff(bool byRange, CivilDay picked, int daysAgo, std::time_t now) {
    if (!byRange) {
        return picked;
    }
    return CivilDay{CivilDayOfLocalTime(now).days - std::max(daysAgo, 0)};
}

std::string FindBackupFileHolding(const std::string& folder, std::int64_t seconds) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        if (IsPlainFile(e) && HasSuffix(e.path().filename().string())) {
            files.push_back(e.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        store::RecordIndex index;
        index.SetBackupFileSource(file);
        store::IndexRecord* record = index.OpenIndex();
        if (record == nullptr) {
            continue;
        }
        const std::int64_t first = store::BuildRecordingEntry(index, record, 0, 0, 1).start;
        std::int64_t last = first;
        for (int guard = 0; record != nullptr && guard < (1 << 17); ++guard) {
            const store::RecordingEntry e = store::BuildRecordingEntry(index, record, 0, 0, 1);
            last = e.end;
            if (e.next == record) {
                break;
            }
            record = e.next;
        }
        if (seconds >= first && seconds <= last) {
            return file;
        }
    }
    return {};
}

std::string PlateOfSector(std::span<const std::uint8_t> plateField) {
    std::string plate = recorderconfig::FieldText(plateField);
    if (!plate.empty()) {
        const auto first = static_cast<std::uint8_t>(plate[0]);
        if (first >= recorderconfig::kPlateCodeBase) {
            const std::size_t n = first - recorderconfig::kPlateCodeBase;
            if (n < recorderconfig::kPlateCodeChars.size()) {
                plate[0] = recorderconfig::kPlateCodeChars[n];
            } else {
                plate.erase(0, 1);
            }
        }
    }
    return plate;
}

std::string WholeCardBackupPrefix(const std::string& folder, std::string_view plate) {
    std::string name;
    for (const char c : plate) {
        if (c == '\0') {
            break;
        }
        name.push_back(c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ? '_' : c);
    }
    // Spaces around the plate do not belong to the folder's name.
    const auto first = name.find_first_not_of(' ');
    name = first == std::string::npos ? std::string() : name.substr(first, name.find_last_not_of(' ') - first + 1);
    if (name.empty() || name == "." || name == "..") {
        name = "CarInfor";
    }
    return (fs::path(folder) / name / name).string();
}

std::string_view BackupManagerState::text() const {
    switch (m_state) {
    case Automatic:
        return "idle";
    case BackingUp:
        return "backuping";
    case Stopped:
        break;
    }
    return "stop";
}

} // namespace tavero::app
