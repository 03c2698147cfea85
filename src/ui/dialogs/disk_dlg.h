// CDiskDlg: the dialog that chooses what to play ("Playback") and, with the backup dialog of a
// later version, what to back up ("Backup"). In Playback mode it offers the source kind (another
// drive, a removable card, or a raw backup file), the two drive lists of the drive scan, a ".sd"
// file with "Browse...", and the recordings of the chosen source with their event type; a click
// on the "EVENT TYPE" header filters by event, a double-click plays the row and hides the
// dialog. Every rule behind it is SourceChooser's; the dialog shows its state.
//
// In Backup mode every row has a check box and the area below the list offers the time range,
// the format (raw backup file or AVI) with the AVI channels, the backup and snapshot folders, the
// progress bar, "Load Path Length" and "Backup"; BackupChooser holds the rules and runs the
// backup, the dialog shows its state.
//
// Thread: UI thread only.
#pragma once

#include "app/app_settings.h"
#include "app/backup_chooser.h"
#include "app/playback_rules.h"
#include "app/source_chooser.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace tavero::ui {

enum class DiskDlgMode { Playback, Backup };

// What the dialog needs from the main window.
class DiskDlgHost {
public:
    virtual ~DiskDlgHost() = default;
    // Plays entry `index` of the main window's recording list; true when playing started.
    [[nodiscard]] virtual bool PlayListIndex(int index) = 0;
    // The chooser opened, reopened or refiltered a source: the window's list, day view and
    // messages follow.
    virtual void SourceChanged() = 0;
    // Fresh drive lists are wanted (the dialog is being shown).
    virtual void RescanDrives() = 0;
    // A message box over the dialog (translated text).
    virtual void ShowProblem(const QString& text) = 0;
    // A message box with the information icon (translated text).
    virtual void ShowInformation(const QString& text) { ShowProblem(text); }
    // A backup started: the window marks itself busy.
    virtual void BackupStarted() {}
    // The backup file finder and the backup manager.
    virtual void ShowFilePad() {}
    virtual void ShowFileManager() {}
};

class CDiskDlg : public QDialog {
    Q_OBJECT

public:
    CDiskDlg(QWidget* parent, app::SourceChooser& chooser, DiskDlgHost& host, Translator translate,
             int uiMode);

    // Shows the dialog in `mode`; asking for the mode already shown while visible hides it.
    void showMode(DiskDlgMode mode);
    [[nodiscard]] DiskDlgMode mode() const { return m_mode; }

    void setDeviceLists(const std::vector<cardtools::DeviceEntry>& removable,
                        const std::vector<cardtools::DeviceEntry>& other);
    // Rows, header, kind radios, path and volume texts from the chooser.
    void reloadFromChooser();
    // Selects the row of list entry `index` (-1 clears) without playing it.
    void selectListIndex(int index);
    // The default backup range (display times), kept for the backup dialog.
    void setBackupRange(const app::BackupRange& range) { m_backupRange = range; }
    [[nodiscard]] const app::BackupRange& backupRange() const { return m_backupRange; }
    void setProgress(int percent);

    // The kind radios in the order Local Disk, Removable Storage, Backup File.
    [[nodiscard]] QRadioButton* kindRadio(app::BackupSourceKind kind) const;
    [[nodiscard]] QComboBox* removableList() const { return m_removable; }
    [[nodiscard]] QComboBox* otherList() const { return m_other; }
    [[nodiscard]] QLineEdit* pathEdit() const { return m_path; }
    [[nodiscard]] QPushButton* browseButton() const { return m_browse; }
    [[nodiscard]] QTreeWidget* recordingList() const { return m_list; }
    [[nodiscard]] QWidget* backupArea() const { return m_backupArea; }

    // The backup rules and the settings the backup area remembers its folders in; without them
    // Backup mode lists and offers nothing to press.
    void setBackup(app::BackupChooser* backup, app::AppSettings* settings);
    // The Backup button, as a click on it does.
    void pressBackup();
    // "Load Path Length": the table of the listed rows into the backup folder.
    void writeLengthTable();
    // A backup step the window took (an export's end): progress, the button, the pickers.
    void showBackupStep(const app::BackupStep& step);
    [[nodiscard]] QString backupFolder() const;
    [[nodiscard]] QString snapshotFolder() const;
    // The folder pickers ask through this (tests answer it); empty means cancelled.
    void setFolderAsker(std::function<QString(const QString& folder)> ask) {
        m_askFolder = std::move(ask);
    }
    [[nodiscard]] QPushButton* backupButton() const { return m_backupButton; }
    [[nodiscard]] QComboBox* formatBox() const { return m_format; }
    [[nodiscard]] QDateTimeEdit* startPicker() const { return m_start; }
    [[nodiscard]] QDateTimeEdit* endPicker() const { return m_end; }
    [[nodiscard]] QCheckBox* channelBox(int box) const;
    [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
    // "Search": the backup file in the backup folder that holds the start picker's time becomes
    // the source; the pickers keep their times.
    void searchBackupFolder();
    // A click on list row `row` (-1: beside the rows), as the mouse gives it.
    void clickRow(int row);

    // "Browse..." asks for a file through this (tests answer it); empty means cancelled.
    void setFileAsker(std::function<QString(const QString& folder)> ask) {
        m_askFile = std::move(ask);
    }
    // Plays a row as a double-click does.
    void activateRow(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void chooseKind(app::BackupSourceKind kind);
    void applyKindControls();
    void chooseRemovable(int index);
    void chooseOther(int index);
    void browse();
    void buildBackupArea();
    void loadFolders();
    void showBackupState();
    void pickFolder(bool backupFolder);
    void pickersToChooser();
    [[nodiscard]] QString tr(std::string_view english) const;

    app::SourceChooser& m_chooser;
    DiskDlgHost& m_host;
    Translator m_translate;
    DiskDlgMode m_mode = DiskDlgMode::Playback;
    app::BackupRange m_backupRange;
    std::vector<cardtools::DeviceEntry> m_removableEntries;
    std::vector<cardtools::DeviceEntry> m_otherEntries;
    std::function<QString(const QString&)> m_askFile;

    QButtonGroup* m_kinds;
    QRadioButton* m_localDisk;
    QRadioButton* m_removableRadio;
    QRadioButton* m_fileRadio;
    QComboBox* m_removable;
    QComboBox* m_other;
    QLineEdit* m_path;
    QPushButton* m_browse;
    QLabel* m_volume;
    QTreeWidget* m_list;
    QWidget* m_backupArea;
    QProgressBar* m_progress;

    app::BackupChooser* m_backup = nullptr;
    int m_backupRows = -1; // rows the chooser's ticks were made for
    bool m_updatingPickers = false;
    app::AppSettings* m_settings = nullptr;
    std::function<QString(const QString&)> m_askFolder;
    QDateTimeEdit* m_start = nullptr;
    QDateTimeEdit* m_end = nullptr;
    QComboBox* m_format = nullptr;
    std::array<QCheckBox*, app::kBackupChannelBoxes> m_channels{};
    QLineEdit* m_backupPath = nullptr;
    QPushButton* m_backupPathButton = nullptr;
    QLineEdit* m_snapshotPath = nullptr;
    QPushButton* m_snapshotPathButton = nullptr;
    QPushButton* m_search = nullptr;
    QPushButton* m_lengths = nullptr;
    QPushButton* m_filePadButton = nullptr;
    QPushButton* m_fileManagerButton = nullptr;
    QPushButton* m_backupButton = nullptr;
};

} // namespace tavero::ui
