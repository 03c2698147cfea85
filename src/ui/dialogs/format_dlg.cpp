#include "ui/dialogs/format_dlg.h"

#include "cardtools/card_messages.h"
#include "platform/unmount_service.h"
#include "ui/dialogs/dialog_units.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace tavero::ui {
namespace {

namespace ct = cardtools;

constexpr int kProgressPollMs = 100;
constexpr std::string_view kTitleBackupFile = "Please selected valid Disk";

} // namespace

// The worker's reports, handed to the dialog's thread. The percentage is read from the tool by
// the dialog's timer instead.
class CFormatDlg::Progress final : public ct::FormatProgress {
public:
    explicit Progress(CFormatDlg& dialog) : m_dialog(dialog) {}
    void OnPercent(int) override {}
    void OnMessage(std::string_view englishText) override {
        const std::string text(englishText);
        QMetaObject::invokeMethod(
            &m_dialog,
            [dialog = &m_dialog, text] {
                dialog->m_messages.show(dialog->tr(text), text != ct::kMsgFormatFinished &&
                                                              text != ct::kMsgRestoreFinished);
            },
            Qt::QueuedConnection);
    }
    void OnFinished(bool ok, ct::FormatState) override {
        QMetaObject::invokeMethod(
            &m_dialog, [dialog = &m_dialog, ok] { dialog->onFinished(ok); }, Qt::QueuedConnection);
    }

private:
    CFormatDlg& m_dialog;
};

CFormatDlg::CFormatDlg(QWidget* parent, app::AppSettings& settings, ct::CardDriveScanner& scanner,
                       ct::CardToolPrompts& prompts, UserMessages& messages, Translator translate,
                       Setup setup)
    : QDialog(parent), m_settings(settings), m_scanner(scanner), m_messages(messages),
      m_translate(std::move(translate)), m_setup(setup) {
    m_progressSink = std::make_unique<Progress>(*this);
    m_tool = std::make_unique<ct::CFormatTool>(scanner, prompts, *m_progressSink);
    if (m_setup.unmount == nullptr) {
        m_ownUnmount = platform::MakeDesktopUnmountService();
        m_setup.unmount = m_ownUnmount.get();
    }
    m_tool->SetUnmountService(m_setup.unmount);
    m_tool->SetDelays(m_setup.settleDelay, m_setup.fileSystemDelay);
    setModal(true);
    UseDialogFont(this);
    m_title = tr(m_setup.sourceKind == ct::BackupSourceKind::BackupFile ? kTitleBackupFile
                                                                        : ct::kTitleFormatTool);
    setWindowTitle(m_title);
    setFixedSize(Du(0, 0, 250, 172).size());
    build();
    fillDevices();
    chooseMode(true);
    m_timer.setInterval(kProgressPollMs);
    connect(&m_timer, &QTimer::timeout, this, &CFormatDlg::onTimer);
}

CFormatDlg::~CFormatDlg() {
    // The worker reports to this dialog: it ends before the dialog goes.
    m_tool->Wait();
}

QString CFormatDlg::tr(std::string_view english) const {
    return toQString(m_translate(english));
}

void CFormatDlg::build() {
    m_localRadio = Place(new QRadioButton(tr("Local Disk"), this), 10, 8, 150, 10);
    m_localList = Place(new RefreshingComboBox(this), 10, 20, 150, 14);
    m_removableRadio = Place(new QRadioButton(tr("Removable Storage"), this), 10, 40, 150, 10);
    m_removableList = Place(new RefreshingComboBox(this), 10, 52, 150, 14);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_localRadio);
    modes->addButton(m_removableRadio);
    connect(m_localRadio, &QRadioButton::clicked, this, [this] { chooseMode(true); });
    connect(m_removableRadio, &QRadioButton::clicked, this, [this] { chooseMode(false); });
    for (RefreshingComboBox* list : {m_localList, m_removableList}) {
        list->beforePopup = [this] { fillDevices(); };
        connect(list, &QComboBox::currentIndexChanged, this, [this] { enableControls(); });
    }

    m_clean = Place(new QCheckBox(tr("Format And Clean Record Data"), this), 10, 74, 160, 10);
    m_fat32 = Place(new QCheckBox(tr("Format FAT32 Data"), this), 10, 88, 160, 10);
    m_fat32->setChecked(true);
    m_fat32->setVisible(m_settings.ReadConfigInt("ShowFormatFAT32", 0) != 0);
    m_progress = Place(new QProgressBar(this), 10, 104, 230, 12);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    m_format = Place(new QPushButton(tr("Format"), this), 170, 20, 70, 14);
    m_restore = Place(new QPushButton(tr("Restore"), this), 170, 52, 70, 14);
    connect(m_format, &QPushButton::clicked, this, [this] { (void)format(); });
    connect(m_restore, &QPushButton::clicked, this, [this] { (void)restore(); });

    Place(new QLabel(tr("Language Setting"), this), 10, 124, 150, 10);
    m_language = Place(new QComboBox(this), 10, 136, 150, 14);
    const app::LanguageComboContents languages = m_settings.FillLanguageCombo();
    for (const app::LanguageComboItem& item : languages.items) {
        m_language->addItem(toQString(item.text), item.tableIndex);
    }
    m_language->setCurrentIndex(languages.selectedItem);
    connect(m_language, &QComboBox::activated, this, &CFormatDlg::onLanguageChosen);

    m_copyNote = Place(new QLabel(tr("Player after formatting will be copied to SD."), this), 10,
                       156, 230, 10);
    m_copyNote->hide();
}

void CFormatDlg::fillDevices() {
    std::vector<ct::DeviceEntry> removable;
    std::vector<ct::DeviceEntry> other;
    (void)m_scanner.ScanDrives(removable, other);
    const auto refill = [](QComboBox* list, const std::vector<ct::DeviceEntry>& entries) {
        const QString chosen = list->currentText();
        const QSignalBlocker quiet(list);
        list->clear();
        for (const ct::DeviceEntry& e : entries) {
            list->addItem(toQString(e.text));
        }
        list->setCurrentIndex(chosen.isEmpty() ? -1 : list->findText(chosen));
    };
    refill(m_localList, other);
    refill(m_removableList, removable);
    enableControls();
}

void CFormatDlg::chooseMode(bool localDisk) {
    m_localMode = localDisk;
    (localDisk ? m_localRadio : m_removableRadio)->setChecked(true);
    enableControls();
}

std::string CFormatDlg::chosenDevice() const {
    return (m_localMode ? m_localList : m_removableList)->currentText().toStdString();
}

void CFormatDlg::enableControls() {
    const bool idle = !m_tool->Busy();
    m_localList->setEnabled(idle && m_localMode);
    m_removableList->setEnabled(idle && !m_localMode);
    m_localRadio->setEnabled(idle);
    m_removableRadio->setEnabled(idle);
    const bool chosen = (m_localMode ? m_localList : m_removableList)->currentIndex() >= 0;
    m_format->setEnabled(idle && chosen);
    m_restore->setEnabled(idle && chosen);
}

bool CFormatDlg::format() {
    return start(false);
}

bool CFormatDlg::restore() {
    return start(true);
}

bool CFormatDlg::start(bool restoring) {
    if (m_tool->Busy()) {
        return false;
    }
    m_tool->SetWriteBootImage(m_fat32->isChecked());
    m_tool->SetMode(m_localMode ? ct::DeviceListMode::LocalDisk
                                : ct::DeviceListMode::RemovableStorage);
    const std::string device = chosenDevice();
    const bool started = restoring ? m_tool->StartRestore(device) : m_tool->StartFormat(device);
    if (!started) {
        return false;
    }
    setWindowTitle(tr(restoring ? ct::kQuestionRestore : ct::kQuestionFormat));
    m_progress->setValue(m_tool->Percent());
    enableControls();
    m_timer.start();
    return true;
}

void CFormatDlg::onTimer() {
    m_progress->setValue(m_tool->Percent());
}

void CFormatDlg::onFinished(bool ok) {
    m_timer.stop();
    m_tool->Wait();
    m_progress->setValue(m_tool->Percent());
    if (ok) {
        // The card is to be inserted again: the lists name what was there before.
        m_localList->clear();
        m_removableList->clear();
    }
    setWindowTitle(tr(ct::kTitleFormatTool));
    enableControls();
}

void CFormatDlg::waitForWork() {
    m_tool->Wait();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void CFormatDlg::onLanguageChosen(int index) {
    const std::string message = m_settings.ChooseLanguage(m_language->itemData(index).toInt());
    if (!message.empty()) {
        m_messages.show(toQString(message), false);
    }
}

void CFormatDlg::closeEvent(QCloseEvent* event) {
    if (m_tool->Busy()) {
        event->ignore(); // the card is half written while the worker runs
        return;
    }
    QDialog::closeEvent(event);
}

void CFormatDlg::reject() {
    if (!m_tool->Busy()) {
        QDialog::reject();
    }
}

} // namespace tavero::ui
