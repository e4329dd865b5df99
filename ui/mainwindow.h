#pragma once

#include "api/compound.h"

#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>

class ApiClient;
class QBoxLayout;
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

    // Shows the list row for row and keeps it as the rows' records.
    void fillTable(const QList<Compound> &list);
    void updateClock();
    void openDetails(int row);

    // The server no longer accepts the session: the window stops listening to
    // the API, closes its open dialogs and, once the last of them has
    // returned, asks to be logged out. Nothing entered in them is sent.
    void endSession();

signals:
    void logoutRequested();

private:
    void addHeader(QBoxLayout *layout);
    QLayout *buildToolbar();
    QLayout *buildFooter();
    void buildTable();
    void connectApi();
    void fillRow(int row, const Compound &c, const QString &formula);
    QLabel *formulaLabel(int row) const;
    void highlightFormulas(const QItemSelection &rows, bool selected);

    void onSearchTextChanged(const QString &text);
    void runSearch();
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
    QPushButton *logoutButton = nullptr;
    QLabel *noHitsLabel = nullptr;

    QString pendingSearch;
    QList<Compound> compounds;
    QList<Compound> shownCompounds;
    bool sessionOver = false;
    int openModals = 0;
};
