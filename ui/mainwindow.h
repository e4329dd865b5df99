#pragma once

#include "api/compound.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>

class ApiClient;
class QBoxLayout;
class QHideEvent;
class QItemSelection;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

// The window a signed-in user works in: the compound table with a server-side
// search, the edit actions the role allows, a clock and the logout button.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(ApiClient *api, const QString &username, const QString &role,
        const QString &keresztnev, QWidget *parent = nullptr);

    // Shows the list in the order chosen by a click on a column header (the
    // list's own order until then) and keeps it, in that order, as the rows'
    // records. The selected compounds stay selected wherever they move.
    void fillTable(const QList<Compound> &list);
    void updateClock();
    void openDetails(int row);
    // Saves the rows shown, in the order shown, as a CSV file for spreadsheets;
    // a failure is shown in a warning box.
    void exportTo(const QString &path);

    // The server no longer accepts the session: the window stops listening to
    // the API, closes its open dialogs and, once the last of them has
    // returned, asks to be logged out. Nothing entered in them is sent.
    void endSession();

signals:
    void logoutRequested();

protected:
    // Keeps the window's size and position for the next one.
    void hideEvent(QHideEvent *event) override;

private:
    void addHeader(QBoxLayout *layout);
    QLayout *buildToolbar();
    QLayout *buildFooter();
    void buildTable();
    void addShortcuts();
    void connectApi();
    void fillRow(int row, const Compound &c, const QString &formula);
    QLabel *formulaLabel(int row) const;
    void highlightFormulas(const QItemSelection &rows, bool selected);
    void sortBy(int column);
    void selectCompounds(const QStringList &codes, const QString &currentKod, int currentColumn);

    void onSearchTextChanged(const QString &text);
    void runSearch();
    void reload();
    void exportCsv();
    void copySelectedRows();
    void addCompound();
    void editCompound();
    void deleteCompound();
    void openUsers();
    void showError(const QString &message);
    int selectedRow();
    bool answersSearchBox() const;
    int runModal(const std::function<int()> &run);
    void requestLogoutWhenIdle();

    ApiClient *api;
    QString username;
    QString role;
    QString keresztnev;
    bool canEdit;
    bool isAdmin;

    QLabel *welcomeLabel = nullptr;
    QLineEdit *searchEdit = nullptr;
    QTableWidget *compoundTable = nullptr;
    QLabel *clockLabel = nullptr;
    QTimer *clockTimer = nullptr;
    QTimer *searchTimer = nullptr;
    QPushButton *addButton = nullptr;
    QPushButton *editButton = nullptr;
    QPushButton *deleteButton = nullptr;
    QPushButton *usersButton = nullptr;
    QPushButton *exportButton = nullptr;
    QPushButton *logoutButton = nullptr;
    QLabel *noHitsLabel = nullptr;

    QString pendingSearch;
    QList<Compound> compounds;
    QList<Compound> shownCompounds;
    int sortColumn = -1; // none: the server's order
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    bool sessionOver = false;
    int openModals = 0;
};
