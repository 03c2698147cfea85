#pragma once
// CConfigPage: the logic of the configuration page without widgets. It opens on the main
// window's card (reading the sector and the card's files into its options), applies the page's
// input rules as options change, and saves in the recorder's order after the page's checks. A
// window shows its lists and selections and forwards the user's changes; the command-line tool
// drives it the same way. Messages go to a MessageSink as untranslated English keys.
//
// Options are list positions (-1 = nothing selected) or flags, as the page's controls hold them.
// Hidden options (rear camera, car information, norm, continuous recording, playback password,
// camera sensitivities, audio, daylight saving) are opened and saved like the shown ones.
//
// Thread: UI thread; one instance per opening of the page. The sector image and the zone offset
// belong to the caller (the main window) and are edited in place.

#include "recorderconfig/card_save.h"
#include "recorderconfig/config_sector.h"
#include "recorderconfig/messages.h"
#include "recorderconfig/page_lists.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavero::recorderconfig {

// The program's settings the page reads and writes ("Config.ini"): the application's settings
// store in the window, a file reader (or plain defaults) in the command-line tool.
class PageSettings {
public:
    virtual ~PageSettings() = default;
    [[nodiscard]] virtual int ReadInt(std::string_view section, std::string_view key,
                                      int defaultValue) const = 0;
    virtual void WriteInt(std::string_view section, std::string_view key, int value) = 0;
    // True when the interface language is "zh_CN" (plates carry a province code then).
    [[nodiscard]] virtual bool IsChineseInterface() const = 0;
    // The lines of section "Provinces" of the Chinese language file, as "key=value".
    [[nodiscard]] virtual std::vector<std::string> ProvinceLines() const = 0;
};

// What the main window hands the page.
struct PageContext {
    int drive = -1;                 // the open card's physical drive, -1 when none
    std::string cardRoot;           // mount point ending in "/", or "/dev/..." for a raw-only card
    ConfigSector* sector = nullptr; // the main window's image; required
    std::int32_t* timeOffset = nullptr; // zone offset in seconds the main window uses; optional
    CameraTable frontTable = kDefaultCameraTable;
    CameraTable rearTable = kDefaultCameraTable;
    std::int32_t localOffsetSeconds = 0; // the computer's standard-time offset (row 0)
};

enum class SaveResult {
    Closed,   // the page closes with OK (also after a failed sector write, which was reported)
    StayOpen, // a check stopped the save; nothing was written to the card
};

class CConfigPage {
public:
    CConfigPage(PageContext context, PageSettings& settings, MessageSink& messages);

    // The opening steps: lists, sector and files read, every option selected. Also run when
    // another card is chosen (after the caller changed the context's drive and root).
    void Open();
    void Reopen(int drive, std::string cardRoot);

    // --- what the page shows ----------------------------------------------------------------
    [[nodiscard]] bool cardMode() const { return m_context.drive != -1; }
    // False when the sector read at opening reported invalid (the title then warns).
    [[nodiscard]] bool sectorValid() const { return m_sectorValid; }
    // "Configuration", " - [root]" in card mode, or the damage warning, each key translated.
    [[nodiscard]] std::string
    Title(const std::function<std::string(std::string_view)>& translate) const;
    // "Save" in card mode, else "OK" (untranslated key).
    [[nodiscard]] std::string_view ButtonCaption() const { return cardMode() ? "Save" : "OK"; }
    [[nodiscard]] const PageLists& lists() const { return m_lists; }
    [[nodiscard]] const std::vector<std::string>& frontRateEntries() const {
        return m_frontEntries;
    }
    [[nodiscard]] const std::vector<std::string>& parkRateEntries() const { return m_parkEntries; }
    [[nodiscard]] const std::vector<TimeZoneRow>& timeZones() const { return m_zones; }
    [[nodiscard]] const std::vector<std::string>& provinces() const { return m_provinces; }
    [[nodiscard]] std::string PlateCounter() const; // "%d/%d"
    [[nodiscard]] int uiMode() const { return m_uiMode; }

    // --- the options (list positions, -1 none) ------------------------------------------------
    struct Options {
        int videoFormat = -1;
        int videoQuality = -1;
        int frontRate = -1; // position in frontRateEntries()
        int rearRate = -1;  // hidden rear list (lists().rearRates); not saved
        bool plateTicked = false;
        std::string plate; // as the edit shows it
        int province = -1; // Chinese interface only
        bool carInfoTicked = false;
        std::string carInfo;
        std::string user1Name, user1Password, user2Name, user2Password;
        int timeZoneRow = -1;
        bool timeSetting = false;
        ClockFields pickedTime; // local wall-clock time of the chosen zone
        int speedUnit = -1;     // 0 km/h, 1 mile/h, 2 knot
        int carType = -1;
        int gsensorLevel = -1; // 0 Off .. 5
        int parkMode = -1;
        int parkRate = -1; // position in parkRateEntries()
        bool rearCameraDisabled = false;
        bool pal = true;
        bool continuousRecording = false;
        bool playbackPasswordTicked = false;
        std::array<int, kPlaybackPasswordBytes> playbackDigits{-1, -1, -1, -1};
        int frontSensitivity = -1;
        int rearSensitivity = -1;
        bool audioOn = true;
        bool dstOn = false;
    };
    [[nodiscard]] const Options& options() const { return m_options; }

    // --- changes, with the page's rules -------------------------------------------------------
    void SelectVideoFormat(int index); // refills the frame-rate lists
    void SelectVideoQuality(int index) { m_options.videoQuality = index; }
    void SelectFrontRate(int index) { m_options.frontRate = index; }
    void SetPlateTicked(bool ticked);
    void EditPlate(std::string_view text); // cut rule applied
    void LeavePlate();                     // upper case
    void SelectProvince(int index) { m_options.province = index; }
    void SetCarInfoTicked(bool ticked);
    void EditCarInfo(std::string_view text);
    void SetUser(int user, std::string_view name, std::string_view password);
    void SelectTimeZone(int row) { m_options.timeZoneRow = row; }
    void SetTimeSetting(bool ticked, const ClockFields& picked);
    void SelectSpeedUnit(int unit) { m_options.speedUnit = unit; }
    void SelectGsensor(int carType, int level);
    void SelectParkMode(int index) { m_options.parkMode = index; }
    void SelectParkRate(int index) { m_options.parkRate = index; }
    void SetRearCameraDisabled(bool disabled); // audio follows: off when disabled, on when not
    void SetPal(bool pal) { m_options.pal = pal; }
    void SetContinuousRecording(bool on) { m_options.continuousRecording = on; }
    void SetPlaybackPasswordTicked(bool ticked); // ticking selects "0" in each digit list
    void SelectPlaybackDigit(int position, int digit);
    void SelectSensitivity(int frontIndex, int rearIndex);
    void SetAudio(bool on) { m_options.audioOn = on; }
    void SetDst(bool on) { m_options.dstOn = on; }
    void ChangeUiMode(int mode); // shows the restart message

    // "Save" / "OK". On Closed the card (in card mode) holds the configuration; `outcome`
    // (optional) receives what the save wrote or skipped.
    [[nodiscard]] SaveResult Save(CardSaveOutcome* outcome = nullptr);

    // "Gsensor Reset": asks the recorder to re-zero its G-sensor ("car_set/correct_g.cfg").
    [[nodiscard]] bool RequestGsensorReset() const;

private:
    void buildLists();
    void readCard();
    void selectInitialOptions();
    void refillRateLists(bool keepParkIndex);
    [[nodiscard]] bool haveFiles() const;
    [[nodiscard]] std::vector<std::uint8_t> encodePlate() const;

    PageContext m_context;
    PageSettings& m_settings;
    MessageSink& m_messages;
    PageLists m_lists;
    std::vector<std::string> m_frontEntries;
    std::vector<std::string> m_parkEntries;
    std::vector<TimeZoneRow> m_zones;
    std::vector<std::string> m_provinces;
    Options m_options;
    GsensorChoice m_gsensorDefaults;
    int m_gsensorSet = 1;
    int m_uiMode = 0;
    bool m_sectorValid = true;
};

} // namespace tavero::recorderconfig
