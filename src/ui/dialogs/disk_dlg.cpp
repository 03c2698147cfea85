#include "ui/dialogs/disk_dlg.h"

#include "ui/main/window_look.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
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

    // Backup mode's own controls come with the backup dialog; its area stays empty until then.
    m_backupArea = new QWidget(this);
    m_progress = new QProgressBar(m_backupArea);
    m_progress->setRange(0, 100);
    auto* backupLayout = new QVBoxLayout(m_backupArea);
    backupLayout->setContentsMargins(0, 0, 0, 0);
    backupLayout->addWidget(m_progress);
    m_backupArea->hide();

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

    m_askFile = [this](const QString& folder) {
        // The filter's name carries its pattern in brackets: "RAW Backup File(*.sd)".
        return QFileDialog::getOpenFileName(this, tr("Browse..."), folder,
                                            tr(app::kBackupFileFilter));
    };
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
    // Playback mode ends just below the list.
    m_backupArea->setVisible(mode == DiskDlgMode::Backup);
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
    selectListIndex(row);
    if (m_host.PlayListIndex(index)) {
        hide();
    }
}

} // namespace tavero::ui
