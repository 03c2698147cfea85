#include "recorderconfig/config_page.h"

#include "recorderconfig/car_set_files.h"

#include <algorithm>
#include <cctype>

namespace tavero::recorderconfig {
namespace {

constexpr std::uint32_t kMissingRecordFrameRate = 30; // "EncodeFrameSize" start value
constexpr std::size_t kPlateReadChars = kPlateBytes - 1;

int IndexIn(std::uint32_t value, std::size_t size) {
    return value < size ? static_cast<int>(value) : -1;
}

bool Selected(int index, std::size_t size) {
    return index >= 0 && static_cast<std::size_t>(index) < size;
}

bool HalfSize(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b <= 0x7E;
    });
}

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

CConfigPage::CConfigPage(PageContext context, PageSettings& settings, MessageSink& messages)
    : m_context(std::move(context)), m_settings(settings), m_messages(messages) {}

bool CConfigPage::haveFiles() const {
    return cardMode() && !IsRawOnlyRoot(m_context.cardRoot);
}

void CConfigPage::Reopen(int drive, std::string cardRoot) {
    m_context.drive = drive;
    m_context.cardRoot = std::move(cardRoot);
    Open();
}

void CConfigPage::buildLists() {
    const auto def = [this](std::string_view key, int fallback) {
        return m_settings.ReadInt(kDefaultSectionName, key, fallback);
    };
    m_lists = BuildPageLists(def("VideoFormat_DfSet", -1), def("VideoFrameRateFront_DfSet", -1),
                             def("VideoFrameRateRear_DfSet", -1), def("CarMode_DfSet", 2));
    m_gsensorSet = def("GsensorParameterArray_DfSet", 1);
    m_gsensorDefaults = {def("GsensorCar_DfValue", 0), def("GsensorCarLevel_DfValue", 3)};
    m_zones = BuildTimeZoneTable(m_context.localOffsetSeconds);
}

void CConfigPage::Open() {
    buildLists();
    readCard();
}

void CConfigPage::readCard() {
    ConfigSector& sector = *m_context.sector;
    m_sectorValid = true;
    if (cardMode()) {
        m_sectorValid = ReadConfigSector(m_context.drive, sector);
    } else {
        sector.speedUnit =
            static_cast<std::uint32_t>(m_settings.ReadInt(kConfigSectionName, "SetEDR_Speed", 0));
    }
    // The setting file on the card wins over the sector's copy of the same fields.
    SettingRecord record;
    bool recordValid = false;
    // A card reachable only raw has no setting file to read; without a card the missing file
    // gives the start value below.
    if (!(cardMode() && IsRawOnlyRoot(m_context.cardRoot))) {
        recordValid =
            haveFiles() && ReadSettingRecord(CarSetPath(m_context.cardRoot, kSettingFile), record);
        if (recordValid) {
            sector.videoFormat = record.videoFormat;
            sector.frameRate = record.frameRate;
            sector.videoQuality = record.videoQuality;
            sector.parkFrameRate = record.parkFrameRate;
            sector.parkMode = record.parkMode;
            sector.zoneCode = record.zoneCode;
            sector.plate = record.plate;
        } else if (m_settings.ReadInt(kConfigSectionName, "EncodeFrameSize", -1) != 0) {
            sector.frameRate = kMissingRecordFrameRate;
        }
    }
    m_uiMode = m_settings.ReadInt(kConfigSectionName, "UIMode", 0);
    m_provinces.clear();
    if (m_settings.IsChineseInterface()) {
        m_provinces = m_settings.ProvinceLines();
    }
    selectInitialOptions();
}

void CConfigPage::selectInitialOptions() {
    const ConfigSector& sector = *m_context.sector;
    const std::string& root = m_context.cardRoot;
    Options o;
    o.pal = !haveFiles() ||
            ReadSwitchRecord(CarSetPath(root, kVideoNormFile), kVideoNormMagic, 1, true) != 0;
    const GsensorChoice g =
        haveFiles() ? ReadGsensorChoice(root, m_gsensorSet, m_gsensorDefaults) : m_gsensorDefaults;
    o.carType = Selected(g.carType, m_lists.carTypes.size()) ? g.carType : -1;
    o.gsensorLevel = g.level >= 0 && g.level <= kGsensorLevels ? g.level : -1;

    o.videoFormat = IndexIn(sector.videoFormat, m_lists.videoFormats.size());
    o.videoQuality = IndexIn(sector.videoQuality, VideoQualityNames().size());
    o.parkMode = IndexIn(sector.parkMode, ParkingModeNames().size());
    o.speedUnit = IndexIn(sector.speedUnit, SpeedUnitNames().size());
    m_parkEntries = ParkingRateNames(static_cast<int>(sector.videoFormat));
    o.parkRate = IndexIn(sector.parkFrameRate / 5, m_parkEntries.size());

    o.user1Name = FieldText(sector.user1Name);
    o.user1Password = FieldText(sector.user1Password);
    o.user2Name = FieldText(sector.user2Name);
    o.user2Password = FieldText(sector.user2Password);

    // Zone: the first named zone whose offset the sector records; otherwise (an empty value
    // matches the last row) the zone last chosen on this computer.
    int row = 0;
    for (int r = 1; r < kTimeZoneRows; ++r) {
        if (std::int64_t{m_zones[static_cast<std::size_t>(r)].offsetSeconds} + kZoneSecondsBias ==
            std::int64_t{sector.zoneSeconds}) {
            row = r;
            break;
        }
    }
    if (row == kTimeZoneRows - 1 || !cardMode()) {
        row = m_settings.ReadInt(kConfigSectionName, "TimeZone", 0);
    }
    o.timeZoneRow = row >= 0 && row < kTimeZoneRows ? row : -1;

    // Plate: the first byte may be a code for the province or the first character.
    std::string plate = FieldText(sector.plate);
    if (!plate.empty()) {
        const auto first = static_cast<std::uint8_t>(plate[0]);
        if (m_settings.IsChineseInterface()) {
            if (first >= kPlateCodeBase) {
                const int province = first - kPlateCodeBase;
                o.province = Selected(province, m_provinces.size()) ? province : -1;
                plate.erase(0, 1);
            } else if (first == kNoProvinceCode) {
                // Written when no province was chosen; it is a marker, not a character.
                plate.erase(0, 1);
            }
        } else if (first >= kPlateCodeBase) {
            const std::size_t n = first - kPlateCodeBase;
            if (n < kPlateCodeChars.size()) {
                plate[0] = kPlateCodeChars[n];
            } else {
                plate.erase(0, 1); // a code no character stands for
            }
        }
    }
    // The setting file pads with spaces; they are not part of the plate.
    while (!plate.empty() && plate.back() == ' ') {
        plate.pop_back();
    }
    o.plate = CutEditText(plate, kPlateEditChars);
    o.plateTicked = !o.plate.empty();

    const bool continuousOff =
        !haveFiles() || ReadSwitchRecord(CarSetPath(root, kRecModeFile), kRecModeMagic, 1) != 0;
    o.continuousRecording = !continuousOff;
    o.playbackPasswordTicked = sector.playbackPassword[0] != 0;
    for (std::size_t i = 0; i < kPlaybackPasswordBytes; ++i) {
        const int digit = sector.playbackPassword[i] - '0';
        o.playbackDigits[i] = digit >= 0 && digit <= 9 ? digit : -1;
    }
    o.frontSensitivity =
        haveFiles()
            ? ReadCameraScript(SecondCopy(CarSetPath(root, kFrontCameraFile)), m_context.frontTable)
            : kNormalSensitivity;
    o.rearSensitivity =
        haveFiles()
            ? ReadCameraScript(SecondCopy(CarSetPath(root, kRearCameraFile)), m_context.rearTable)
            : kNormalSensitivity;
    o.audioOn = !haveFiles() ||
                ReadSwitchRecord(CarSetPath(root, kAudioSwitchFile), kAudioMagic, 1, true) != 0;
    m_options = std::move(o);

    refillRateLists(true);
    const auto selectRate = [&sector](const std::vector<std::string>& entries, int& selection) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (EntryNumber(entries[i]) == sector.frameRate) {
                selection = static_cast<int>(i);
                return;
            }
        }
    };
    selectRate(m_frontEntries, m_options.frontRate);
    m_options.rearRate =
        m_lists.rearRates.empty() ? -1 : static_cast<int>(m_lists.rearRates.size()) - 1;
    selectRate(m_lists.rearRates, m_options.rearRate);
}

void CConfigPage::refillRateLists(bool keepParkIndex) {
    m_frontEntries = m_options.videoFormat == 0 ? m_lists.frontRates : m_lists.rearRates;
    m_options.frontRate = static_cast<int>(m_frontEntries.size()) - 1;
    m_parkEntries = ParkingRateNames(m_options.videoFormat);
    if (!keepParkIndex || !Selected(m_options.parkRate, m_parkEntries.size())) {
        m_options.parkRate = static_cast<int>(m_parkEntries.size()) - 1;
    }
}

void CConfigPage::SelectVideoFormat(int index) {
    m_options.videoFormat = index;
    refillRateLists(true);
}

std::string
CConfigPage::Title(const std::function<std::string(std::string_view)>& translate) const {
    std::string title = translate("Configuration");
    if (cardMode()) {
        if (m_sectorValid) {
            title += " - [" + m_context.cardRoot + "]";
        } else {
            title += " " + translate(kMsgConfigDamaged);
        }
    }
    return title;
}

std::string CConfigPage::PlateCounter() const {
    return std::to_string(m_options.plate.size()) + "/" + std::to_string(kPlateEditChars);
}

void CConfigPage::SetPlateTicked(bool ticked) {
    m_options.plateTicked = ticked;
    if (!ticked) {
        m_options.plate.clear();
    }
}

void CConfigPage::EditPlate(std::string_view text) {
    m_options.plate = CutEditText(text, kPlateEditChars);
}

void CConfigPage::LeavePlate() {
    m_options.plate = Upper(m_options.plate);
}

void CConfigPage::SetCarInfoTicked(bool ticked) {
    m_options.carInfoTicked = ticked;
    if (!ticked) {
        m_options.carInfo.clear();
    }
}

void CConfigPage::EditCarInfo(std::string_view text) {
    m_options.carInfo = CutEditText(text, kCarInfoEditChars);
}

void CConfigPage::SetUser(int user, std::string_view name, std::string_view password) {
    // The edits hold at most 15 characters each.
    std::string& n = user == 1 ? m_options.user1Name : m_options.user2Name;
    std::string& p = user == 1 ? m_options.user1Password : m_options.user2Password;
    n = std::string(name.substr(0, kUserTextMax));
    p = std::string(password.substr(0, kUserTextMax));
}

void CConfigPage::SetTimeSetting(bool ticked, const ClockFields& picked) {
    m_options.timeSetting = ticked;
    m_options.pickedTime = picked;
}

void CConfigPage::SelectGsensor(int carType, int level) {
    m_options.carType = carType;
    m_options.gsensorLevel = level;
}

void CConfigPage::SetRearCameraDisabled(bool disabled) {
    m_options.rearCameraDisabled = disabled;
    m_options.audioOn = !disabled;
}

void CConfigPage::SetPlaybackPasswordTicked(bool ticked) {
    m_options.playbackPasswordTicked = ticked;
    m_options.playbackDigits.fill(ticked ? 0 : -1);
}

void CConfigPage::SelectPlaybackDigit(int position, int digit) {
    if (position >= 0 && position < static_cast<int>(kPlaybackPasswordBytes)) {
        m_options.playbackDigits[static_cast<std::size_t>(position)] =
            digit >= 0 && digit <= 9 ? digit : -1;
    }
}

void CConfigPage::SelectSensitivity(int frontIndex, int rearIndex) {
    m_options.frontSensitivity = frontIndex;
    m_options.rearSensitivity = rearIndex;
}

void CConfigPage::ChangeUiMode(int mode) {
    m_uiMode = mode;
    m_messages.ShowMessage(kMsgUiModeChanged);
}

bool CConfigPage::RequestGsensorReset() const {
    return haveFiles() && CreateEmptyFile(CarSetPath(m_context.cardRoot, kCorrectGFile));
}

std::vector<std::uint8_t> CConfigPage::encodePlate() const {
    std::vector<std::uint8_t> bytes(kPlateBytes, 0);
    const std::string text = m_options.plate.substr(0, kPlateReadChars);
    std::copy(text.begin(), text.end(), bytes.begin());
    if (m_settings.IsChineseInterface()) {
        std::rotate(bytes.rbegin(), bytes.rbegin() + 1, bytes.rend()); // last byte dropped
        bytes[0] = Selected(m_options.province, m_provinces.size())
                       ? static_cast<std::uint8_t>(kPlateCodeBase + m_options.province)
                       : kNoProvinceCode;
    } else if (!text.empty()) {
        const std::size_t pos = kPlateCodeChars.find(text[0]);
        if (pos != std::string_view::npos) {
            bytes[0] = static_cast<std::uint8_t>(kPlateCodeBase + pos);
        }
    }
    return bytes;
}

SaveResult CConfigPage::Save(CardSaveOutcome* outcome) {
    ConfigSector& sector = *m_context.sector;
    Options& o = m_options;
    LeavePlate(); // the edit loses the focus to the button first

    for (std::size_t i = 0; i < kPlaybackPasswordBytes; ++i) {
        const int digit = o.playbackDigits[i];
        sector.playbackPassword[i] = digit < 0 ? 0 : static_cast<std::uint8_t>('0' + digit);
    }
    if (sector.layoutMark[0] == 0) {
        sector.layoutMark = kLayoutMarkCurrent;
    }
    // A list left without a selection keeps the card's value.
    if (Selected(o.timeZoneRow, m_zones.size())) {
        const TimeZoneRow& zone = m_zones[static_cast<std::size_t>(o.timeZoneRow)];
        m_settings.WriteInt(kConfigSectionName, "TimeZone", o.timeZoneRow);
        if (m_context.timeOffset != nullptr) {
            *m_context.timeOffset = zone.offsetSeconds;
        }
        sector.zoneSeconds = static_cast<std::uint32_t>(kZoneSecondsBias + zone.offsetSeconds);
        sector.zoneCode = zone.code;
        sector.blockZoneCode = zone.code;
    }
    if (Selected(o.frontRate, m_frontEntries.size())) {
        sector.frameRate = EntryNumber(m_frontEntries[static_cast<std::size_t>(o.frontRate)]);
    }
    if (Selected(o.videoFormat, m_lists.videoFormats.size())) {
        sector.videoFormat = static_cast<std::uint32_t>(o.videoFormat);
    }
    if (Selected(o.videoQuality, VideoQualityNames().size())) {
        sector.videoQuality = static_cast<std::uint32_t>(o.videoQuality);
    }
    sector.fixedTable.fill(kFixedTableValue);
    sector.fixedOne = 1;

    for (const std::string* text :
         {&o.plate, &o.user1Name, &o.user1Password, &o.user2Name, &o.user2Password}) {
        if (!HalfSize(*text)) {
            m_messages.ShowMessage(kMsgHalfSize);
            return SaveResult::StayOpen;
        }
    }
    SetFieldText(sector.user1Name, o.user1Name);
    SetFieldText(sector.user1Password, o.user1Password);
    SetFieldText(sector.user2Name, o.user2Name);
    SetFieldText(sector.user2Password, o.user2Password);
    const std::vector<std::uint8_t> plate = encodePlate();
    std::copy(plate.begin(), plate.end(), sector.plate.begin());
    sector.speedUnit = o.speedUnit == 0 ? 0 : o.speedUnit == 1 ? 1 : 2;

    if (!cardMode()) {
        return SaveResult::Closed;
    }

    // The parking check comes before anything is written, so a refused save leaves the card as
    // it was (checking it half-way through the writes left the clock, norm, recording-mode and
    // G-sensor files changed on a card whose other settings were not).
    const std::uint32_t parkRate =
        Selected(o.parkRate, m_parkEntries.size())
            ? EntryNumber(m_parkEntries[static_cast<std::size_t>(o.parkRate)])
            : sector.parkFrameRate;
    if (sector.frameRate < parkRate) {
        m_messages.ShowMessage(kMsgParkingFrameRate);
        const int next = o.frontRate + 1;
        o.parkRate = std::min(next, static_cast<int>(m_parkEntries.size()) - 1);
        return SaveResult::StayOpen;
    }
    sector.parkFrameRate = parkRate;
    if (Selected(o.parkMode, ParkingModeNames().size())) {
        sector.parkMode = static_cast<std::uint32_t>(o.parkMode);
    }

    CardSaveChoices choices;
    if (o.timeSetting) {
        const std::int32_t offset =
            static_cast<std::int32_t>(sector.zoneSeconds) - kZoneSecondsBias;
        choices.clockUtc = ClockInUtc(o.pickedTime, offset);
    }
    choices.pal = o.pal;
    choices.continuousRecording = o.continuousRecording;
    if (o.gsensorLevel >= 0) {
        choices.gsensor = GsensorChoice{std::max(o.carType, 0), o.gsensorLevel};
    }
    choices.gsensorParameterSet = m_gsensorSet;
    if (o.frontSensitivity >= 0) {
        choices.frontSensitivity = o.frontSensitivity;
    }
    if (o.rearSensitivity >= 0) {
        choices.rearSensitivity = o.rearSensitivity;
    }
    choices.frontTable = m_context.frontTable;
    choices.rearTable = m_context.rearTable;
    choices.rearCameraDisabled = o.rearCameraDisabled;
    choices.carData = CarData{o.plateTicked, o.plate, o.carInfoTicked, o.carInfo};
    choices.audioOn = o.audioOn;
    choices.dstOn = o.dstOn;

    const CardSaveOutcome result =
        SaveCardConfiguration(m_context.cardRoot, m_context.drive, sector, choices);
    if (!result.sectorWritten) {
        m_messages.ShowMessage(kMsgSaveSectorFailed);
    }
    if (outcome != nullptr) {
        *outcome = result;
    }
    return SaveResult::Closed;
}

} // namespace tavero::recorderconfig
