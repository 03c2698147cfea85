// CFilePad ("File Pad"): finds the raw backup files of a date range in a subfolder of the backup
// folder and lists the recordings they hold; a double-click plays one. The files are read on
// their own, so searching never disturbs what the player has open.
//
// CFileManager ("File Manager"): picks the backup folder, backs a whole card up into it (one
// file per recording, in a folder named by the card's plate), and deletes old backup files by
// date. Its rules are app/file_browser's; the per-recording backup is the backup dialog's.
//
// Thread: UI thread only.
#pragma once

#include "app/app_settings.h"
#include "app/file_browser.h"
#include "app/window_state.h"
#include "cardtools/drive_scan.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;

namespace tavero::ui {

inline constexpr std::string_view kBackupFolderKey = "BackFilePath";

// What the two panels need from the main window.
class BrowserHost {
public:
    virtual ~BrowserHost() = default;
    // Opens the backup file and plays its recording that starts at `start` (seconds, recorder
    // time); false when that did not work (the window said why).
    [[nodiscard]] virtual bool PlayBackupFileEntry(const std::string& path,
                                                   std::int64_t start) = 0;
    // The drive lists of the last scan.
    [[nodiscard]] virtual std::vector<cardtools::DeviceEntry> RemovableDevices() = 0;
    [[nodiscard]] virtual std::vector<cardtools::DeviceEntry> OtherDevices() = 0;
    // Opens the card of the list entry in the window; true when it lists recordings.
    [[nodiscard]] virtual bool OpenCardForBackup(const cardtools::DeviceEntry& device,
                                                 bool removable) = 0;
    // The open card's plate field (configuration sector), as stored.
    [[nodiscard]] virtual std::vector<std::uint8_t> CardPlate() = 0;
    // Starts the per-recording backup of the open card into `prefix`; false with the reason.
    [[nodiscard]] virtual bool StartWholeCardBackup(const std::string& prefix,
                                                    std::string& problem) = 0;
    // A question with OK and Cancel (translated text); true for OK.
    [[nodiscard]] virtual bool AskOkCancel(const QString& question) = 0;
};

class CFilePad : public QDialog {
    Q_OBJECT

public:
    CFilePad(QWidget* parent, app::AppSettings& settings, const app::WindowState& window,
             BrowserHost& host, Translator translate);

    // The folder whose subfolders are searched.
    void SetBackupFolder(const std::string& folder);
    // "Search" in the selected subfolder for the files dated Begin to End.
    void search();
    void setDates(app::CivilDay begin, app::CivilDay end);
    // Plays row `row` as a double-click does.
    void activateRow(int row);

    [[nodiscard]] QListWidget* folderList() const { return m_folders; }
    [[nodiscard]] QTreeWidget* resultList() const { return m_results; }
    [[nodiscard]] const std::vector<std::string>& foundFiles() const { return m_found; }

private:
    [[nodiscard]] QString tr(std::string_view english) const;

    struct Row {
        std::string file;
        std::int64_t start = 0; // recorder time
    };

    app::AppSettings& m_settings;
    const app::WindowState& m_window;
    BrowserHost& m_host;
    Translator m_translate;
    std::string m_folder;
    std::vector<app::Subfolder> m_subfolders;
    std::vector<std::string> m_found;
    std::vector<Row> m_rows;

    QDateEdit* m_begin;
    QDateEdit* m_end;
    QLabel* m_folderText;
    QListWidget* m_folders;
    QTreeWidget* m_results;
    QLabel* m_carInfo;
};

class CFileManager : public QDialog {
    Q_OBJECT

public:
    CFileManager(QWidget* parent, app::AppSettings& settings, BrowserHost& host,
                 Translator translate, CFilePad* pad);

    // Before showing: the drive lists afresh and the chosen card opened.
    void RefreshDevice();
    // "Backup": the whole open card into the backup folder.
    void backup();
    // The per-recording backup reports its progress ("N / COUNT", percent) and its end.
    void BackupProgress(const QString& counter, int percent);
    void BackupFinished(const std::string& problem);
    // "Delete": the old backup files, after asking.
    void deleteOld();
    void setFolder(const std::string& folder);
    // The folder picker asks through this (tests answer it); empty means cancelled.
    void setFolderAsker(std::function<QString(const QString&)> ask) { m_askFolder = std::move(ask); }

    [[nodiscard]] const app::BackupManagerState& state() const { return m_state; }
    [[nodiscard]] QPushButton* backupButton() const { return m_backup; }
    [[nodiscard]] QLabel* message() const { return m_message; }
    [[nodiscard]] QLabel* stateText() const { return m_stateText; }
    [[nodiscard]] QDateEdit* deleteBefore() const { return m_deleteBefore; }
    [[nodiscard]] QRadioButton* deleteRange() const { return m_byRange; }
    [[nodiscard]] QSpinBox* daysAgo() const { return m_days; }
    [[nodiscard]] QProgressBar* progress() const { return m_progress; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showState();
    void fillDevices();
    [[nodiscard]] QString tr(std::string_view english) const;

    app::AppSettings& m_settings;
    BrowserHost& m_host;
    Translator m_translate;
    CFilePad* m_pad;
    app::BackupManagerState m_state;
    std::string m_folder;
    std::vector<cardtools::DeviceEntry> m_removableDevices;
    std::vector<cardtools::DeviceEntry> m_otherDevices;
    std::function<QString(const QString&)> m_askFolder;

    QLineEdit* m_path;
    QPushButton* m_pathButton;
    QProgressBar* m_progress;
    QLabel* m_stateText;
    QLabel* m_message;
    QLabel* m_counter;
    QPushButton* m_backup;
    QRadioButton* m_removableRadio;
    QRadioButton* m_otherRadio;
    QComboBox* m_removable;
    QComboBox* m_other;
    QCheckBox* m_autoTick;
    QDateEdit* m_deleteBefore;
    QRadioButton* m_byDate;
    QRadioButton* m_byRange;
    QSpinBox* m_days;
    QPushButton* m_delete;
};

} // namespace tavero::ui
