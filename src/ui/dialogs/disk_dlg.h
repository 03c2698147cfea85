// CDiskDlg: the dialog that chooses what to play ("Playback") and, with the backup dialog of a
// later version, what to back up ("Backup"). In Playback mode it offers the source kind (another
// drive, a removable card, or a raw backup file), the two drive lists of the drive scan, a ".sd"
// file with "Browse...", and the recordings of the chosen source with their event type; a click
// on the "EVENT TYPE" header filters by event, a double-click plays the row and hides the
// dialog. Every rule behind it is SourceChooser's; the dialog shows its state.
//
// The backup part (check boxes, time range, format, destination, progress) belongs to Backup
// mode: it has its own area below the list, empty and hidden until the backup dialog fills it.
//
// Thread: UI thread only.
#pragma once

#include "app/playback_rules.h"
#include "app/source_chooser.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <vector>

class QButtonGroup;
class QComboBox;
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

    // "Browse..." asks for a file through this (tests answer it); empty means cancelled.
    void setFileAsker(std::function<QString(const QString& folder)> ask) {
        m_askFile = std::move(ask);
    }
    // Plays a row as a double-click does.
    void activateRow(int row);

private:
    void chooseKind(app::BackupSourceKind kind);
    void applyKindControls();
    void chooseRemovable(int index);
    void chooseOther(int index);
    void browse();
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
};

} // namespace tavero::ui
