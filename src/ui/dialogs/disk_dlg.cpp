#include "ui/dialogs/disk_dlg.h"

#include "ui/main/window_look.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QMouseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/file_browser.h"
#include "store/packed_time.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tavero::ui {

namespace {

using app::BackupSourceKind;

constexpr std::string_view kPlaybackTitle = "Playback";
constexpr std::string_view kBackupTitle = "Backup";

int kindId(BackupSourceKind kind) {
    return static_cast<int>(kind);
}

} // namespace

CDiskDlg::CDiskDlg(QWidget* parent, app::SourceChooser& chooser, DiskDlgHost& host,
                   Translator translate, int uiMode)
    : QDialog(parent), m_chooser(chooser), m_host(host), m_translate(std::move(translate)) {
    setPalette(windowPalette());
    setAutoFillBackground(true);
    QFont f = font();
    f.setPixelSize(uiMode == 2 ? 12 : 13);
    setFont(f);
    setWindowTitle(tr(kPlaybackTitle));

    m_localDisk = new QRadioButton(tr("Local Disk"), this);
    m_removableRadio = new QRadioButton(tr("Removable Storage"), this);
    m_fileRadio = new QRadioButton(tr("Backup File"), this);
    // The radios' rings stand out from the dark window.
    QPalette radioPalette = palette();
    radioPalette.setColor(QPalette::Base, QColor(0x2a, 0x2c, 0x38));
    radioPalette.setColor(QPalette::Text, Qt::white);
    for (QRadioButton* r : {m_localDisk, m_removableRadio, m_fileRadio}) {
        r->setPalette(radioPalette);
    }
    m_kinds = new QButtonGroup(this);
    m_kinds->addButton(m_localDisk, kindId(BackupSourceKind::LocalDisk));
    m_kinds->addButton(m_removableRadio, kindId(BackupSourceKind::RemovableStorage));
    m_kinds->addButton(m_fileRadio, kindId(BackupSourceKind::BackupFile));
    m_other = new QComboBox(this);
    m_removable = new QComboBox(this);
    m_path = new QLineEdit(this);
    m_path->setReadOnly(true);
    m_path->setPlaceholderText(toQString(app::kBackupFileFilter));
    m_browse = new QPushButton(tr("Browse..."), this);
    m_volume = new QLabel(this);
    m_volume->setForegroundRole(QPalette::PlaceholderText);

    auto* sources = new QGridLayout;
    sources->setColumnStretch(1, 1);
    sources->addWidget(m_localDisk, 0, 0);
    sources->addWidget(m_other, 0, 1, 1, 2);
    sources->addWidget(m_removableRadio, 1, 0);
    sources->addWidget(m_removable, 1, 1, 1, 2);
    sources->addWidget(m_fileRadio, 2, 0);
    sources->addWidget(m_path, 2, 1);
    sources->addWidget(m_browse, 2, 2);

    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setSectionsClickable(true);
    m_list->header()->setSectionsMovable(false);
    m_list->header()->setStretchLastSection(true);
    QStringList headers;
    for (const app::ListColumn& c : app::kChooserColumns) {
        headers << (c.title.empty() ? QString() : tr(c.title));
    }
    m_list->setHeaderLabels(headers);
    m_list->setMinimumSize(560, 280);
    // The rows' check boxes (Backup mode) are framed in a colour drawn from the list's window
    // colour: a lighter one lets their frames stand out from the dark rows.
    QPalette listPalette = windowPalette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        listPalette.setColor(group, QPalette::Window, QColor(0xa8, 0xae, 0xc4));
    }
    m_list->setPalette(listPalette);

    buildBackupArea();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sources);
    layout->addWidget(m_volume);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_backupArea);

    connect(m_kinds, &QButtonGroup::idClicked, this,
            [this](int id) { chooseKind(static_cast<BackupSourceKind>(id)); });
    connect(m_removable, &QComboBox::activated, this, &CDiskDlg::chooseRemovable);
    connect(m_other, &QComboBox::activated, this, &CDiskDlg::chooseOther);
    connect(m_browse, &QPushButton::clicked, this, &CDiskDlg::browse);
    connect(m_list->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (m_chooser.OnHeaderClicked(column)) {
            m_host.SourceChanged();
            reloadFromChooser();
        }
    });
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { activateRow(m_list->indexOfTopLevelItem(item)); });
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (m_mode == DiskDlgMode::Backup) {
            clickRow(m_list->indexOfTopLevelItem(item));
        }
    });
    // A click beside the rows reaches only the list's viewport.
    m_list->viewport()->installEventFilter(this);

    m_askFolder = [this](const QString& folder) {
        return QFileDialog::getExistingDirectory(this, tr("Backup Path"), folder);
    };
    m_askFile = [this](const QString& folder) {
        // The filter's name carries its pattern in brackets: "RAW Backup File(*.sd)".
        return QFileDialog::getOpenFileName(this, tr("Browse..."), folder,
                                            tr(app::kBackupFileFilter));
    };
    LightenIndicators(this);
    reloadFromChooser();
}

QString CDiskDlg::tr(std::string_view english) const {
    return toQString(m_translate ? m_translate(english) : std::string(english));
}

QRadioButton* CDiskDlg::kindRadio(BackupSourceKind kind) const {
    switch (kind) {
    case BackupSourceKind::RemovableStorage:
        return m_removableRadio;
    case BackupSourceKind::BackupFile:
        return m_fileRadio;
    case BackupSourceKind::LocalDisk:
        break;
    }
    return m_localDisk;
}

void CDiskDlg::showMode(DiskDlgMode mode) {
    if (isVisible() && mode == m_mode) {
        hide();
        return;
    }
    m_mode = mode;
    setWindowTitle(tr(mode == DiskDlgMode::Playback ? kPlaybackTitle : kBackupTitle));
    // Playback mode ends just below the list; in Backup mode the rows are ticked, and selected
    // as the ticks say.
    m_backupArea->setVisible(mode == DiskDlgMode::Backup);
    m_list->setSelectionMode(mode == DiskDlgMode::Backup ? QAbstractItemView::NoSelection
                                                         : QAbstractItemView::SingleSelection);
    if (mode == DiskDlgMode::Backup && (m_backup == nullptr || !m_backup->writing())) {
        loadFolders(); // the folders may have been chosen elsewhere meanwhile
    }
    adjustSize();
    m_host.RescanDrives();
    reloadFromChooser();
    show();
    raise();
    activateWindow();
}

void CDiskDlg::setDeviceLists(const std::vector<cardtools::DeviceEntry>& removable,
                              const std::vector<cardtools::DeviceEntry>& other) {
    m_removableEntries = removable;
    m_otherEntries = other;
    for (auto [combo, entries] :
         {std::pair{m_removable, &m_removableEntries}, std::pair{m_other, &m_otherEntries}}) {
        const QSignalBlocker blocker(combo);
        const QString current = combo->currentText();
        combo->clear();
        for (const cardtools::DeviceEntry& e : *entries) {
            combo->addItem(QString::fromStdString(e.text), e.itemData);
        }
        const int keep = combo->findText(current);
        combo->setCurrentIndex(keep >= 0 ? keep : (combo->count() > 0 ? 0 : -1));
    }
}

void CDiskDlg::applyKindControls() {
    const app::SourceKindControls c = app::ControlsForKind(m_chooser.kind());
    m_removable->setEnabled(c.removableList);
    m_other->setEnabled(c.otherList);
    m_path->setEnabled(c.fileEdit);
    m_browse->setEnabled(c.fileEdit);
    const QSignalBlocker blocker(m_kinds);
    kindRadio(m_chooser.kind())->setChecked(true);
}

void CDiskDlg::reloadFromChooser() {
    applyKindControls();
    m_path->setText(QString::fromStdString(m_chooser.filePath()));
    m_volume->setText(QString::fromStdString(m_chooser.volumeText()));
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    QList<QTreeWidgetItem*> items;
    for (const app::ChooserRow& r : m_chooser.rows()) {
        items.push_back(
            new QTreeWidgetItem({QString::fromStdString(r.number), QString::fromStdString(r.start),
                                 QString::fromStdString(r.event), QString::fromStdString(r.end),
                                 QString::fromStdString(r.duration)}));
    }
    m_list->addTopLevelItems(items);
    if (m_backup != nullptr &&
        m_backupRows != static_cast<int>(m_chooser.rows().size())) {
        m_backup->ResetRows();
    }
    m_backupRows = static_cast<int>(m_chooser.rows().size());
    m_list->headerItem()->setText(app::kEventTypeColumn,
                                  QString::fromStdString(m_chooser.eventColumnTitle()));
    // The design's widths, widened where the texts would be cut.
    for (int i = 0; i < m_list->columnCount(); ++i) {
        m_list->resizeColumnToContents(i);
        const int designed = app::kChooserColumns[static_cast<std::size_t>(i)].widthPx;
        if (m_list->columnWidth(i) < designed) {
            m_list->setColumnWidth(i, designed);
        }
    }
    int columns = 0;
    for (int i = 0; i < m_list->columnCount(); ++i) {
        columns += m_list->columnWidth(i);
    }
    // Wide enough for every column; the frame, margins and scroll bar take the rest.
    m_list->setMinimumWidth(columns + m_list->verticalScrollBar()->sizeHint().width() + 4);
    setProgress(m_chooser.progress());
    showBackupState();
}

void CDiskDlg::selectListIndex(int index) {
    const QSignalBlocker blocker(m_list);
    QTreeWidgetItem* item = m_list->topLevelItem(index);
    if (item == nullptr) {
        m_list->clearSelection();
        return;
    }
    m_list->setCurrentItem(item);
    m_list->scrollToItem(item);
}

void CDiskDlg::setProgress(int percent) {
    m_progress->setValue(std::clamp(percent, 0, 100));
}

void CDiskDlg::chooseKind(BackupSourceKind kind) {
    (void)m_chooser.ChooseKind(kind);
    setProgress(0);
    applyKindControls();
}

void CDiskDlg::chooseRemovable(int index) {
    if (index < 0 || index >= static_cast<int>(m_removableEntries.size())) {
        return;
    }
    const std::string text = m_removableEntries[static_cast<std::size_t>(index)].text;
    setCursor(Qt::WaitCursor);
    const bool opened = m_chooser.ChooseRemovableDevice(text);
    unsetCursor();
    (void)opened; // the chooser names the problem when there is one
    m_host.SourceChanged();
    reloadFromChooser();
}

void CDiskDlg::chooseOther(int index) {
    if (index < 0 || index >= static_cast<int>(m_otherEntries.size())) {
        return;
    }
    (void)m_chooser.ChooseOtherDevice(m_otherEntries[static_cast<std::size_t>(index)]);
    m_host.SourceChanged();
    reloadFromChooser();
}

void CDiskDlg::browse() {
    const QString file = m_askFile(QString::fromStdString(m_chooser.browseFolder()));
    if (file.isEmpty()) {
        return;
    }
    const std::string path = file.toStdString();
    if (!m_chooser.OpenBackupFile(path)) {
        m_host.ShowProblem(file + tr(" is not a raw backup file (*.sd)"));
        return;
    }
    m_host.SourceChanged();
    reloadFromChooser();
}

void CDiskDlg::activateRow(int row) {
    const int index = m_chooser.OnRowDoubleClicked(row);
    if (index < 0) {
        return;
    }
    if (m_backup != nullptr && m_mode == DiskDlgMode::Backup) {
        if (m_backup->writing()) {
            return; // nothing plays while a backup copies
        }
        m_backup->SelectOnly(row);
        showBackupState();
    }
    selectListIndex(row);
    if (m_host.PlayListIndex(index)) {
        hide();
    }
}

// ---- Backup mode ----------------------------------------------------------------------------

namespace {

// Display times are the recorder's wall clock; the pickers show those fields as they are.
QDateTime ToPickerTime(std::int64_t seconds) {
    const std::tm t = store::RecorderWallClock(seconds);
    return QDateTime(QDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday),
                     QTime(t.tm_hour, t.tm_min, t.tm_sec), Qt::UTC);
}

std::int64_t FromPickerTime(const QDateTime& shown) {
    const QDate d = shown.date();
    const QTime t = shown.time();
    store::PackedTime p;
    p.bytes = {static_cast<std::uint8_t>(std::clamp(d.year() - 1800, 0, 255)),
               static_cast<std::uint8_t>(d.month()), static_cast<std::uint8_t>(d.day()),
               static_cast<std::uint8_t>(t.hour()), static_cast<std::uint8_t>(t.minute()),
               static_cast<std::uint8_t>(t.second())};
    return store::PackedTimeToSeconds(p);
}

constexpr std::string_view kBackupPathKey = "BackupPath";
constexpr std::string_view kSnapshotPathKey = "SnapshotPath";

} // namespace

void CDiskDlg::buildBackupArea() {
    m_backupArea = new QWidget(this);
    QWidget* a = m_backupArea;
    m_start = new QDateTimeEdit(a);
    m_end = new QDateTimeEdit(a);
    for (QDateTimeEdit* e : {m_start, m_end}) {
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        e->setTimeSpec(Qt::UTC);
        e->setCalendarPopup(true);
        connect(e, &QDateTimeEdit::dateTimeChanged, this, [this] { pickersToChooser(); });
    }
    m_format = new QComboBox(a);
    m_format->addItem(tr(app::kRawFormatText));
    m_format->addItem(tr(app::kAviFormatText));
    connect(m_format, &QComboBox::activated, this, [this](int index) {
        if (m_backup != nullptr) {
            m_backup->SetFormat(index == 1 ? app::BackupFormat::Avi : app::BackupFormat::Raw);
            m_backup->DialogUsed();
        }
        showBackupState();
    });
    auto* channels = new QHBoxLayout;
    for (int c = 0; c < app::kBackupChannelBoxes; ++c) {
        auto* box = new QCheckBox(QStringLiteral("CH%1").arg(c + 1), a);
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) {
            if (m_backup != nullptr) {
                m_backup->SetChannel(c, on);
                m_backup->DialogUsed();
            }
        });
        m_channels[static_cast<std::size_t>(c)] = box;
        channels->addWidget(box);
    }
    channels->addStretch(1);
    m_backupPath = new QLineEdit(a);
    m_backupPathButton = new QPushButton(tr("Backup Path"), a);
    m_snapshotPath = new QLineEdit(a);
    m_snapshotPathButton = new QPushButton(tr("Snapshot Path"), a);
    connect(m_backupPathButton, &QPushButton::clicked, this, [this] { pickFolder(true); });
    connect(m_snapshotPathButton, &QPushButton::clicked, this, [this] { pickFolder(false); });
    connect(m_backupPath, &QLineEdit::editingFinished, this, [this] {
        if (m_settings != nullptr && !m_backupPath->text().isEmpty()) {
            m_settings->WriteConfigString(kBackupPathKey, m_backupPath->text().toStdString());
        }
    });
    m_progress = new QProgressBar(a);
    m_progress->setRange(0, 100);
    m_search = new QPushButton(tr("Search"), a);
    m_search->hide(); // shown with the setting "ShowSearch"
    m_lengths = new QPushButton(tr("Load Path Length"), a);
    m_backupButton = new QPushButton(tr("Backup"), a);
    m_backupButton->setDefault(false);
    m_backupButton->setAutoDefault(false);
    connect(m_backupButton, &QPushButton::clicked, this, &CDiskDlg::pressBackup);
    connect(m_lengths, &QPushButton::clicked, this, &CDiskDlg::writeLengthTable);
    connect(m_search, &QPushButton::clicked, this, &CDiskDlg::searchBackupFolder);

    auto* grid = new QGridLayout(a);
    grid->setContentsMargins(0, 4, 0, 0);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->addWidget(new QLabel(tr("Record start time"), a), 0, 0);
    grid->addWidget(m_start, 0, 1);
    grid->addWidget(new QLabel(tr("Record end time"), a), 0, 2);
    grid->addWidget(m_end, 0, 3);
    grid->addWidget(new QLabel(tr("Backup Format:"), a), 1, 0);
    grid->addWidget(m_format, 1, 1);
    grid->addLayout(channels, 1, 2, 1, 2);
    grid->addWidget(m_backupPath, 2, 0, 1, 3);
    grid->addWidget(m_backupPathButton, 2, 3);
    grid->addWidget(m_snapshotPath, 3, 0, 1, 3);
    grid->addWidget(m_snapshotPathButton, 3, 3);
    grid->addWidget(m_progress, 4, 0, 1, 4);
    m_filePadButton = new QPushButton(tr("File Pad"), a);
    m_fileManagerButton = new QPushButton(tr("File Manager"), a);
    connect(m_filePadButton, &QPushButton::clicked, this, [this] { m_host.ShowFilePad(); });
    connect(m_fileManagerButton, &QPushButton::clicked, this,
            [this] { m_host.ShowFileManager(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_search);
    buttons->addWidget(m_lengths);
    buttons->addWidget(m_filePadButton);
    buttons->addWidget(m_fileManagerButton);
    buttons->addStretch(1);
    buttons->addWidget(m_backupButton);
    grid->addLayout(buttons, 5, 0, 1, 4);
    m_backupArea->hide();
}

void CDiskDlg::setBackup(app::BackupChooser* backup, app::AppSettings* settings) {
    m_backup = backup;
    m_settings = settings;
    loadFolders();
    m_backupRows = -1;
    reloadFromChooser();
}

void CDiskDlg::loadFolders() {
    if (m_settings != nullptr) {
        m_backupPath->setText(toQString(
            m_settings->ReadConfigString(kBackupPathKey, app::DefaultBackupFolder())));
        m_snapshotPath->setText(toQString(m_settings->ReadConfigString(
            kSnapshotPathKey, m_settings->writableFolder() + "Snapshot/")));
        m_search->setVisible(m_settings->ReadConfigInt("ShowSearch", 0) != 0);
    }
}

QString CDiskDlg::backupFolder() const {
    return m_backupPath->text();
}

QString CDiskDlg::snapshotFolder() const {
    return m_snapshotPath->text();
}

QCheckBox* CDiskDlg::channelBox(int box) const {
    return box >= 0 && box < app::kBackupChannelBoxes ? m_channels[static_cast<std::size_t>(box)]
                                                      : nullptr;
}

void CDiskDlg::pickFolder(bool backupFolder) {
    QLineEdit* edit = backupFolder ? m_backupPath : m_snapshotPath;
    const QString folder = m_askFolder(edit->text());
    if (folder.isEmpty()) {
        return;
    }
    edit->setText(folder);
    if (m_settings != nullptr) {
        m_settings->WriteConfigString(backupFolder ? kBackupPathKey : kSnapshotPathKey,
                                      folder.toStdString());
    }
}

bool CDiskDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress &&
        m_mode == DiskDlgMode::Backup) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_list->itemAt(mouse->position().toPoint()) == nullptr) {
            clickRow(-1);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDiskDlg::clickRow(int row) {
    if (m_backup == nullptr || m_backup->writing()) {
        return;
    }
    if (m_backupRows != static_cast<int>(m_chooser.rows().size())) {
        m_backup->ResetRows();
        m_backupRows = static_cast<int>(m_chooser.rows().size());
    }
    m_backup->ClickRow(row);
    showBackupState();
}

void CDiskDlg::pickersToChooser() {
    if (m_backup == nullptr || m_updatingPickers) {
        return;
    }
    m_backup->SetPickers(FromPickerTime(m_start->dateTime()), FromPickerTime(m_end->dateTime()));
}

void CDiskDlg::showBackupState() {
    const bool backupMode = m_mode == DiskDlgMode::Backup && m_backup != nullptr;
    {
        const QSignalBlocker blocker(m_list);
        for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = m_list->topLevelItem(i);
            if (backupMode) {
                item->setCheckState(0, m_backup->ticked(i) ? Qt::Checked : Qt::Unchecked);
                item->setSelected(m_backup->selected(i));
            } else if (m_mode == DiskDlgMode::Backup || item->data(0, Qt::CheckStateRole).isValid()) {
                item->setData(0, Qt::CheckStateRole, QVariant());
            }
        }
    }
    if (m_backup == nullptr) {
        m_backupButton->setEnabled(false);
        m_lengths->setEnabled(false);
        return;
    }
    m_updatingPickers = true;
    m_start->setDateTime(ToPickerTime(m_backup->pickerStart()));
    m_end->setDateTime(ToPickerTime(m_backup->pickerEnd()));
    m_updatingPickers = false;
    const bool idle = !m_backup->writing();
    m_start->setEnabled(idle && m_backup->pickersEnabled());
    m_end->setEnabled(idle && m_backup->pickersEnabled());
    m_format->setCurrentIndex(m_backup->format() == app::BackupFormat::Avi ? 1 : 0);
    m_format->setEnabled(idle);
    for (int c = 0; c < app::kBackupChannelBoxes; ++c) {
        QCheckBox* box = m_channels[static_cast<std::size_t>(c)];
        const QSignalBlocker blocker(box);
        box->setChecked(m_backup->channel(c));
        box->setEnabled(idle && m_backup->channelBoxesEnabled());
    }
    m_backupButton->setEnabled(m_backup->backupButtonEnabled());
    m_lengths->setEnabled(idle);
}

void CDiskDlg::pressBackup() {
    if (m_backup == nullptr) {
        return;
    }
    pickersToChooser();
    m_backup->SetDestination(m_backupPath->text().toStdString());
    if (m_settings != nullptr && !m_backupPath->text().isEmpty()) {
        m_settings->WriteConfigString(kBackupPathKey, m_backupPath->text().toStdString());
    }
    const app::BackupStep step = m_backup->PressBackup();
    showBackupStep(step);
    if (step.started) {
        m_host.BackupStarted();
    }
    if (!step.message.empty()) {
        m_host.ShowProblem(tr(step.message));
    }
}

void CDiskDlg::showBackupStep(const app::BackupStep& step) {
    if (step.progress) {
        setProgress(*step.progress);
    }
    showBackupState();
}

void CDiskDlg::searchBackupFolder() {
    if (m_backup == nullptr || m_backup->writing()) {
        return;
    }
    pickersToChooser();
    const std::int64_t start = m_backup->pickerStart();
    const std::int64_t end = m_backup->pickerEnd();
    const std::string found = app::FindBackupFileHolding(m_backupPath->text().toStdString(),
                                                         start - m_backup->displayOffset());
    if (found.empty()) {
        return;
    }
    chooseKind(app::BackupSourceKind::BackupFile);
    if (!m_chooser.OpenBackupFile(found)) {
        return;
    }
    m_host.SourceChanged();
    reloadFromChooser();
    m_backup->SetPickers(start, end);
    showBackupState();
}

void CDiskDlg::writeLengthTable() {
    std::vector<std::string> titles;
    for (int i = 1; i < m_list->columnCount(); ++i) {
        titles.push_back(m_list->headerItem()->text(i).toStdString());
    }
    std::vector<std::vector<std::string>> rows;
    for (const app::ChooserRow& r : m_chooser.rows()) {
        rows.push_back({r.number, r.start, r.event, r.end, r.duration});
    }
    const std::filesystem::path folder(m_backupPath->text().toStdString());
    const std::string path = (folder / std::string(app::kLengthTableName)).string();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string table = app::LengthTable(titles, rows);
    out.write(table.data(), static_cast<std::streamsize>(table.size()));
    out.close();
    if (!out) {
        m_host.ShowProblem(toQString(path) + tr(app::kLengthTableFailedText));
        return;
    }
    m_host.ShowInformation(toQString(path) + tr(app::kLengthTableDoneText));
}

} // namespace tavero::ui
