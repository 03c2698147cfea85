#include "ui/dialogs/file_pad.h"

#include "app/backup_plan.h"
#include "app/recording_list.h"
#include "store/record_index.h"
#include "store/recording_entry.h"
#include "ui/main/window_look.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <filesystem>

namespace tavero::ui {
namespace {

QDate ToQDate(app::CivilDay day) {
    return QDate::fromString(QString::fromStdString(app::CivilDayText(day)), Qt::ISODate);
}

app::CivilDay FromQDate(const QDate& d) {
    const auto day = app::MakeCivilDay(d.year(), d.month(), d.day());
    return day ? *day : app::CivilDay{};
}

QDateEdit* MakeDateEdit(QWidget* parent) {
    auto* e = new QDateEdit(parent);
    e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    e->setCalendarPopup(true);
    return e;
}

// The folder the panels start with: "BackFilePath", else the backup dialog's folder.
std::string StartFolder(const app::AppSettings& settings) {
    std::string folder = settings.ReadConfigString(kBackupFolderKey, "");
    if (folder.empty()) {
        folder = settings.ReadConfigString("BackupPath", app::DefaultBackupFolder());
    }
    return folder;
}

} // namespace

// ---- File Pad ---------------------------------------------------------------------------------

CFilePad::CFilePad(QWidget* parent, app::AppSettings& settings, const app::WindowState& window,
                   BrowserHost& host, Translator translate)
    : QDialog(parent), m_settings(settings), m_window(window), m_host(host),
      m_translate(std::move(translate)) {
    setPalette(windowPalette());
    setAutoFillBackground(true);
    setWindowTitle(tr("File Pad"));
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
    m_begin = MakeDateEdit(this);
    m_end = MakeDateEdit(this);
    const app::CivilDay today = app::CivilDayOfLocalTime(std::time(nullptr));
    setDates(app::CivilDay{today.days - 30}, today);
    m_folderText = new QLabel(this);
    m_folders = new QListWidget(this);
    m_folders->setMaximumWidth(200);
    auto* searchButton = new QPushButton(tr("Search"), this);
    m_results = new QTreeWidget(this);
    m_results->setRootIsDecorated(false);
    m_results->setUniformRowHeights(true);
    m_results->setAlternatingRowColors(true);
    m_results->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_results->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_results->setHeaderLabels({tr("ID"), tr("RECORD TIME"), tr("EVENT TYPE"), tr("TIME END"),
                                tr("Total Times")});
    const int widths[] = {45, 120, 120, 120, 70};
    for (int i = 0; i < 5; ++i) {
        m_results->setColumnWidth(i, widths[i]);
    }
    m_results->setMinimumSize(560, 260);
    m_carInfo = new QLabel(tr("Car information"), this);

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(tr("Begin"), this), 0, 0);
    top->addWidget(m_begin, 0, 1);
    top->addWidget(new QLabel(tr("End"), this), 0, 2);
    top->addWidget(m_end, 0, 3);
    top->addWidget(searchButton, 0, 4);
    top->addWidget(new QLabel(tr("File folder"), this), 1, 0);
    top->addWidget(m_folderText, 1, 1, 1, 4);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_folders);
    lists->addWidget(m_results, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(lists, 1);
    layout->addWidget(m_carInfo);

    connect(searchButton, &QPushButton::clicked, this, &CFilePad::search);
    connect(m_results, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        activateRow(m_results->indexOfTopLevelItem(item));
    });
    LightenIndicators(this);
    SetBackupFolder(StartFolder(m_settings));
}

QString CFilePad::tr(std::string_view english) const {
    return toQString(m_translate ? m_translate(english) : std::string(english));
}

void CFilePad::setDates(app::CivilDay begin, app::CivilDay end) {
    m_begin->setDate(ToQDate(begin));
    m_end->setDate(ToQDate(end));
}

void CFilePad::SetBackupFolder(const std::string& folder) {
    m_folder = folder;
    m_folderText->setText(toQString(folder));
    m_subfolders = app::ListSubfolders(folder);
    m_folders->clear();
    for (const app::Subfolder& f : m_subfolders) {
        m_folders->addItem(toQString(f.name));
    }
    if (m_folders->count() > 0) {
        m_folders->setCurrentRow(0);
    }
}

void CFilePad::search() {
    m_results->clear();
    m_rows.clear();
    m_found.clear();
    const int chosen = m_folders->currentRow();
    if (chosen < 0 || chosen >= static_cast<int>(m_subfolders.size())) {
        m_carInfo->setText(tr("Car information"));
        return;
    }
    const app::CivilDay from = FromQDate(m_begin->date());
    const app::CivilDay until = app::NextDay(FromQDate(m_end->date()));
    m_found = app::FindBackupFiles(m_subfolders[static_cast<std::size_t>(chosen)].path, from, until);
    QList<QTreeWidgetItem*> items;
    std::int64_t previousStart = -1;
    for (const std::string& file : m_found) {
        // Each file on its own: one that cannot be read adds no rows.
        store::RecordIndex index;
        index.SetBackupFileSource(file);
        store::IndexRecord* record = index.OpenIndex();
        for (int guard = 0; record != nullptr && guard < (1 << 17); ++guard) {
            const store::RecordingEntry e = store::BuildRecordingEntry(
                index, record, 0, 0, static_cast<std::int32_t>(m_rows.size() + 1));
            if (e.start != previousStart) {
                const app::MainListRow texts = app::MainListRowTexts(e, m_window.timeOffset);
                items.push_back(new QTreeWidgetItem(
                    {QString::number(m_rows.size() + 1), toQString(texts.start),
                     tr(store::EventTypeName(e.eventCode)), toQString(texts.end),
                     toQString(texts.total)}));
                m_rows.push_back({file, e.start});
                previousStart = e.start;
            }
            if (e.next == record) {
                break;
            }
            record = e.next;
        }
    }
    m_results->addTopLevelItems(items);
    m_carInfo->setText(tr("Car information") + QStringLiteral(": ") +
                       m_folders->currentItem()->text() + QStringLiteral(" (%1 / %2)")
                           .arg(m_rows.size())
                           .arg(m_found.size()));
}

void CFilePad::activateRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_rows.size())) {
        return;
    }
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (m_host.PlayBackupFileEntry(r.file, r.start)) {
        hide();
    }
}

// ---- File Manager -----------------------------------------------------------------------------

CFileManager::CFileManager(QWidget* parent, app::AppSettings& settings, BrowserHost& host,
                           Translator translate, CFilePad* pad)
    : QDialog(parent), m_settings(settings), m_host(host), m_translate(std::move(translate)),
      m_pad(pad) {
    setPalette(windowPalette());
    setAutoFillBackground(true);
    setWindowTitle(tr("File Manager"));
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
    m_askFolder = [this](const QString& folder) {
        return QFileDialog::getExistingDirectory(this, tr("Path"), folder);
    };

    m_path = new QLineEdit(this);
    m_path->setReadOnly(true);
    m_pathButton = new QPushButton(tr("Path"), this);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_stateText = new QLabel(this);
    m_message = new QLabel(this);
    QPalette red = m_message->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    m_message->setPalette(red);
    m_counter = new QLabel(QStringLiteral("0/0"), this);
    m_backup = new QPushButton(tr("Backup"), this);

    auto* device = new QGroupBox(tr("Device"), this);
    m_removableRadio = new QRadioButton(tr("Removable Storage"), device);
    m_otherRadio = new QRadioButton(tr("Local Disk"), device);
    m_removable = new QComboBox(device);
    m_other = new QComboBox(device);
    auto* deviceLayout = new QGridLayout(device);
    deviceLayout->setColumnStretch(1, 1);
    deviceLayout->addWidget(m_removableRadio, 0, 0);
    deviceLayout->addWidget(m_removable, 0, 1);
    deviceLayout->addWidget(m_otherRadio, 1, 0);
    deviceLayout->addWidget(m_other, 1, 1);
    auto* devices = new QButtonGroup(this);
    devices->addButton(m_removableRadio);
    devices->addButton(m_otherRadio);
    m_removableRadio->setChecked(true);
    m_autoTick = new QCheckBox(tr("Auto"), this);

    auto* deletion = new QGroupBox(tr("Delete"), this);
    m_byDate = new QRadioButton(tr("Delete Data Before"), deletion);
    m_byRange = new QRadioButton(tr("Delete range"), deletion);
    m_deleteBefore = MakeDateEdit(deletion);
    m_deleteBefore->setDate(QDate::currentDate().addDays(-30));
    m_days = new QSpinBox(deletion);
    m_days->setRange(0, 3650);
    m_days->setValue(30);
    m_delete = new QPushButton(tr("Delete"), deletion);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_byDate);
    kinds->addButton(m_byRange);
    m_byDate->setChecked(true);
    auto* deleteLayout = new QGridLayout(deletion);
    deleteLayout->addWidget(m_byDate, 0, 0);
    deleteLayout->addWidget(m_deleteBefore, 0, 1);
    deleteLayout->addWidget(m_byRange, 1, 0);
    deleteLayout->addWidget(m_days, 1, 1);
    deleteLayout->addWidget(new QLabel(tr("day ago"), deletion), 1, 2);
    deleteLayout->addWidget(m_delete, 0, 3, 2, 1);

    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(1, 1);
    layout->addWidget(new QLabel(tr("File folder"), this), 0, 0);
    layout->addWidget(m_path, 0, 1);
    layout->addWidget(m_pathButton, 0, 2);
    layout->addWidget(device, 1, 0, 1, 3);
    layout->addWidget(m_autoTick, 2, 0);
    layout->addWidget(m_stateText, 2, 1);
    layout->addWidget(m_backup, 2, 2);
    layout->addWidget(m_progress, 3, 0, 1, 2);
    layout->addWidget(m_counter, 3, 2);
    layout->addWidget(m_message, 4, 0, 1, 3);
    layout->addWidget(deletion, 5, 0, 1, 3);

    connect(m_pathButton, &QPushButton::clicked, this, [this] {
        const QString folder = m_askFolder(toQString(m_folder));
        if (!folder.isEmpty()) {
            setFolder(folder.toStdString());
        }
    });
    for (QRadioButton* r : {m_removableRadio, m_otherRadio}) {
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                showState();
                RefreshDevice();
            }
        });
    }
    connect(m_removable, &QComboBox::activated, this, [this] { RefreshDevice(); });
    connect(m_other, &QComboBox::activated, this, [this] { RefreshDevice(); });
    connect(m_autoTick, &QCheckBox::clicked, this, [this](bool on) {
        if (on) {
            m_state.Auto();
        } else {
            m_state.Stop();
        }
        showState();
    });
    connect(m_byDate, &QRadioButton::toggled, this, [this] { showState(); });
    connect(m_backup, &QPushButton::clicked, this, &CFileManager::backup);
    connect(m_delete, &QPushButton::clicked, this, &CFileManager::deleteOld);

    m_folder = StartFolder(m_settings);
    m_path->setText(toQString(m_folder));
    LightenIndicators(this);
    showState();
}

QString CFileManager::tr(std::string_view english) const {
    return toQString(m_translate ? m_translate(english) : std::string(english));
}

void CFileManager::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    fillDevices();
    RefreshDevice();
}

void CFileManager::fillDevices() {
    m_removableDevices = m_host.RemovableDevices();
    m_otherDevices = m_host.OtherDevices();
    for (auto [combo, list] : {std::pair{m_removable, &m_removableDevices},
                               std::pair{m_other, &m_otherDevices}}) {
        const QString current = combo->currentText();
        combo->clear();
        for (const cardtools::DeviceEntry& e : *list) {
            combo->addItem(QString::fromStdString(e.text));
        }
        const int keep = combo->findText(current);
        combo->setCurrentIndex(keep >= 0 ? keep : (combo->count() > 0 ? 0 : -1));
    }
}

void CFileManager::showState() {
    const bool busy = m_state.state() == app::BackupManagerState::BackingUp;
    m_stateText->setText(tr(m_state.text()));
    m_autoTick->setChecked(m_state.ticked());
    m_removable->setEnabled(m_removableRadio->isChecked() && !busy);
    m_other->setEnabled(m_otherRadio->isChecked() && !busy);
    m_removableRadio->setEnabled(!busy);
    m_otherRadio->setEnabled(!busy);
    m_pathButton->setEnabled(!busy);
    m_deleteBefore->setEnabled(m_byDate->isChecked());
    m_days->setEnabled(!m_byDate->isChecked());
    m_delete->setEnabled(!busy);
    if (busy) {
        m_backup->setEnabled(false);
    }
}

void CFileManager::setFolder(const std::string& folder) {
    m_folder = folder;
    m_path->setText(toQString(folder));
    m_settings.WriteConfigString(kBackupFolderKey, folder);
    if (m_pad != nullptr) {
        m_pad->SetBackupFolder(folder);
    }
}

void CFileManager::RefreshDevice() {
    if (m_state.state() == app::BackupManagerState::BackingUp) {
        return;
    }
    const bool removable = m_removableRadio->isChecked();
    QComboBox* combo = removable ? m_removable : m_other;
    const std::vector<cardtools::DeviceEntry>& list = removable ? m_removableDevices : m_otherDevices;
    const int index = combo->currentIndex();
    bool listed = false;
    if (index >= 0 && index < static_cast<int>(list.size())) {
        listed = m_host.OpenCardForBackup(list[static_cast<std::size_t>(index)], removable);
    }
    m_message->setText(listed ? QString() : tr("no data"));
    m_backup->setEnabled(listed);
}

void CFileManager::backup() {
    RefreshDevice();
    if (!m_backup->isEnabled() || !m_state.Backup()) {
        return;
    }
    m_message->clear();
    m_progress->setValue(0);
    showState();
    const std::vector<std::uint8_t> plate = m_host.CardPlate();
    const std::string prefix = app::WholeCardBackupPrefix(m_folder, app::PlateOfSector(plate));
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(prefix).parent_path(), ec);
    std::string problem;
    if (ec) {
        problem = std::filesystem::path(prefix).parent_path().string() + ": " + ec.message();
    } else if (m_host.StartWholeCardBackup(prefix, problem)) {
        return; // BackupFinished comes at the end
    }
    BackupFinished(problem);
}

void CFileManager::BackupProgress(const QString& counter, int percent) {
    m_counter->setText(counter);
    m_progress->setValue(std::clamp(percent, 0, 100));
}

void CFileManager::BackupFinished(const std::string& problem) {
    m_state.Finished();
    m_progress->setValue(problem.empty() ? 100 : m_progress->value());
    showState();
    m_backup->setEnabled(true); // the card is still open
    m_message->setText(problem.empty() ? tr("finished") : toQString(problem));
}

void CFileManager::deleteOld() {
    const app::CivilDay cutoff = app::DeleteCutoff(
        m_byRange->isChecked(), FromQDate(m_deleteBefore->date()), m_days->value(), std::time(nullptr));
    if (!m_host.AskOkCancel(tr(app::kDeleteQuestion) + toQString(app::CivilDayText(cutoff)))) {
        return;
    }
    const int removed = app::RemoveFiles(app::OldBackupFiles(m_folder, cutoff));
    m_counter->setText(QStringLiteral("%1").arg(removed));
}

} // namespace tavero::ui
