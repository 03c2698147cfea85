// What the grid's map cell shows, one page at a time, chosen with the tabs beside the grid: the
// recording list (control 1005: start, end and length of every recording of the opened source),
// the setting list (control 1006: the recorder settings' names, values left empty) and the map
// page. The map view itself comes with its own dialog; until then the map page shows where the
// vehicle was at the played time as text.
//
// Thread: UI thread only.
#pragma once

#include "app/recording_list.h"
#include "ui/dialogs/user_messages.h"

#include <QStackedWidget>
#include <vector>

class QLabel;
class QTreeWidget;

namespace tavero::ui {

class MapCellPanel : public QStackedWidget {
    Q_OBJECT

public:
    enum class Page { Recordings = 0, Settings = 1, Map = 2 };

    MapCellPanel(QWidget* parent, int uiMode, const Translator& translate);

    void setRows(const std::vector<app::MainListRow>& rows);
    // Selects (and shows) a row without reporting it as the user's choice; -1 clears.
    void selectRow(int row);
    [[nodiscard]] int selectedRow() const;
    void showPage(Page page);
    [[nodiscard]] Page page() const { return static_cast<Page>(currentIndex()); }
    // The map page's text: the last known position, or empty when none is known.
    void setPositionText(const QString& text);

    [[nodiscard]] QTreeWidget* recordingList() const { return m_recordings; }
    [[nodiscard]] QTreeWidget* settingList() const { return m_settings; }

Q_SIGNALS:
    // A row was double-clicked (or Enter pressed on it): play it.
    void rowActivated(int row);
    // The user moved the selection.
    void rowSelected(int row);

private:
    QTreeWidget* m_recordings;
    QTreeWidget* m_settings;
    QLabel* m_map;
    QString m_noPositionText;
};

} // namespace tavero::ui
