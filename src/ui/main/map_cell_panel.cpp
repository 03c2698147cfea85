#include "ui/main/map_cell_panel.h"

#include "ui/main/window_look.h"

#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <string_view>

namespace tavero::ui {

namespace {

constexpr std::string_view kSettingRows[] = {"Audio Recording", "G-sensor Sensitivity",
                                             "Car Type",        "Video Frame Rate",
                                             "Video Quality",   "Video Format"};
constexpr int kSettingColumnPx = 190;

QTreeWidget* makeList(QWidget* parent, int uiMode) {
    auto* list = new QTreeWidget(parent);
    list->setPalette(windowPalette());
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAlternatingRowColors(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Condensed, so that start and end times fit side by side in the smallest mode too.
    QFont f(QStringLiteral("DejaVu Sans Condensed"));
    f.setPixelSize(scaledPixels(uiMode, 13));
    list->setFont(f);
    list->header()->setFont(f);
    list->header()->setStretchLastSection(true);
    list->header()->setSectionsMovable(false);
    return list;
}

// Column widths are given for the 1920 x 1080 mode; the smaller modes scale them.
int columnPixels(int uiMode, int modeZeroPixels) {
    const double scale = uiMode == 1 ? 0.75 : uiMode == 2 ? 0.5333 : 1.0;
    return static_cast<int>(modeZeroPixels * scale);
}

} // namespace

MapCellPanel::MapCellPanel(QWidget* parent, int uiMode, const Translator& translate)
    : QStackedWidget(parent) {
    auto tr = [&](std::string_view english) {
        return toQString(translate ? translate(english) : std::string(english));
    };
    setPalette(windowPalette());
    setAutoFillBackground(true);

    m_recordings = makeList(this, uiMode);
    QStringList headers;
    for (const app::ListColumn& c : app::kMainListColumns) {
        headers << tr(c.title);
    }
    m_recordings->setHeaderLabels(headers);
    for (int i = 0; i < static_cast<int>(std::size(app::kMainListColumns)); ++i) {
        m_recordings->header()->resizeSection(
            i, columnPixels(uiMode, app::kMainListColumns[static_cast<std::size_t>(i)].widthPx));
    }
    connect(m_recordings, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        Q_EMIT rowActivated(m_recordings->indexOfTopLevelItem(item));
    });
    connect(m_recordings, &QTreeWidget::itemSelectionChanged, this,
            [this] { Q_EMIT rowSelected(selectedRow()); });
    addWidget(m_recordings);

    m_settings = makeList(this, uiMode);
    m_settings->setHeaderLabels({tr("Setting"), tr("Value")});
    m_settings->header()->resizeSection(0, columnPixels(uiMode, kSettingColumnPx));
    for (std::string_view row : kSettingRows) {
        m_settings->addTopLevelItem(new QTreeWidgetItem({tr(row), QString()}));
    }
    m_settings->setSelectionMode(QAbstractItemView::NoSelection);
    addWidget(m_settings);

    m_map = new QLabel(this);
    m_map->setAlignment(Qt::AlignCenter);
    m_map->setWordWrap(true);
    m_map->setPalette(windowPalette());
    QFont f = m_map->font();
    f.setPixelSize(scaledPixels(uiMode, 15));
    m_map->setFont(f);
    m_noPositionText = tr("No position known yet");
    m_map->setText(m_noPositionText);
    addWidget(m_map);
}

void MapCellPanel::setRows(const std::vector<app::MainListRow>& rows) {
    const QSignalBlocker blocker(m_recordings);
    m_recordings->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const app::MainListRow& r : rows) {
        items.push_back(
            new QTreeWidgetItem({QString::fromStdString(r.start), QString::fromStdString(r.end),
                                 QString::fromStdString(r.total)}));
    }
    m_recordings->addTopLevelItems(items);
    // The designed widths, widened where the times would be cut.
    for (int i = 0; i < m_recordings->columnCount() - 1; ++i) {
        const int designed = m_recordings->columnWidth(i);
        m_recordings->resizeColumnToContents(i);
        m_recordings->setColumnWidth(i, std::max(designed, m_recordings->columnWidth(i)));
    }
}

void MapCellPanel::selectRow(int row) {
    const QSignalBlocker blocker(m_recordings);
    QTreeWidgetItem* item = m_recordings->topLevelItem(row);
    if (item == nullptr) {
        m_recordings->clearSelection();
        return;
    }
    m_recordings->setCurrentItem(item);
    m_recordings->scrollToItem(item);
}

int MapCellPanel::selectedRow() const {
    const QList<QTreeWidgetItem*> items = m_recordings->selectedItems();
    return items.isEmpty() ? -1 : m_recordings->indexOfTopLevelItem(items.front());
}

void MapCellPanel::showPage(Page page) {
    setCurrentIndex(static_cast<int>(page));
}

void MapCellPanel::setPositionText(const QString& text) {
    m_map->setText(text.isEmpty() ? m_noPositionText : text);
}

} // namespace tavero::ui
