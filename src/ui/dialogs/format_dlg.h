// CFormatDlg ("Format Tool Dialog"): prepares a card for the recorder ("Format") or gives it back
// to ordinary use ("Restore"), and chooses the interface language. The work is
// cardtools::CFormatTool's: its checks and the confirmation run here, the writing on its worker
// thread; a timer of the dialog shows the worker's percentage, and its messages and its end come
// back to this thread queued. The dialog cannot be closed while the worker runs.
//
// Thread: UI thread only; the dialog is modal.
#pragma once

#include "app/app_settings.h"
#include "cardtools/card_detection.h"
#include "cardtools/format_tool.h"
#include "ui/dialogs/config_dlg.h"
#include "ui/dialogs/user_messages.h"

#include <QDialog>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace tavero::platform {
class UnmountService;
}

namespace tavero::ui {

class CFormatDlg : public QDialog {
    Q_OBJECT

public:
    struct Setup {
        cardtools::BackupSourceKind sourceKind = cardtools::BackupSourceKind::LocalDisk;
        // Null: the desktop's (UDisks2, or umount2 as root).
        platform::UnmountService* unmount = nullptr;
        // The pauses of the work (tests set them to zero).
        std::chrono::milliseconds settleDelay{1000};
        std::chrono::milliseconds fileSystemDelay{100};
    };
    CFormatDlg(QWidget* parent, app::AppSettings& settings, cardtools::CardDriveScanner& scanner,
               cardtools::CardToolPrompts& prompts, UserMessages& messages, Translator translate,
               Setup setup);
    ~CFormatDlg() override;

    // "Format" and "Restore" as the buttons do them; false when nothing was started.
    bool format();
    bool restore();
    [[nodiscard]] bool busy() const { return m_tool->Busy(); }
    // Waits for the worker and delivers its queued messages (tests).
    void waitForWork();

    [[nodiscard]] cardtools::CFormatTool& tool() { return *m_tool; }
    [[nodiscard]] QRadioButton* localDiskRadio() const { return m_localRadio; }
    [[nodiscard]] QRadioButton* removableRadio() const { return m_removableRadio; }
    [[nodiscard]] RefreshingComboBox* localList() const { return m_localList; }
    [[nodiscard]] RefreshingComboBox* removableList() const { return m_removableList; }
    [[nodiscard]] QCheckBox* fat32Tick() const { return m_fat32; }
    [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
    [[nodiscard]] QPushButton* formatButton() const { return m_format; }
    [[nodiscard]] QPushButton* restoreButton() const { return m_restore; }
    [[nodiscard]] QComboBox* languageList() const { return m_language; }

    // Closing is refused while the worker writes.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Progress;

    void build();
    void fillDevices();
    void chooseMode(bool localDisk);
    void enableControls();
    void onTimer();
    void onFinished(bool ok);
    void onLanguageChosen(int index);
    [[nodiscard]] bool start(bool restoring);
    [[nodiscard]] std::string chosenDevice() const;
    [[nodiscard]] QString tr(std::string_view english) const;

    app::AppSettings& m_settings;
    cardtools::CardDriveScanner& m_scanner;
    UserMessages& m_messages;
    Translator m_translate;
    Setup m_setup;
    std::unique_ptr<platform::UnmountService> m_ownUnmount;
    std::unique_ptr<Progress> m_progressSink;
    std::unique_ptr<cardtools::CFormatTool> m_tool;
    QTimer m_timer;
    bool m_localMode = true;
    QString m_title;

    QRadioButton* m_localRadio = nullptr;
    QRadioButton* m_removableRadio = nullptr;
    RefreshingComboBox* m_localList = nullptr;
    RefreshingComboBox* m_removableList = nullptr;
    QCheckBox* m_clean = nullptr;
    QCheckBox* m_fat32 = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_format = nullptr;
    QPushButton* m_restore = nullptr;
    QComboBox* m_language = nullptr;
    QLabel* m_copyNote = nullptr;
};

} // namespace tavero::ui
