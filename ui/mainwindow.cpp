#include "ui/mainwindow.h"

#include "api/apiclient.h"
#include "api/clientsettings.h"
#include "ui/compoundcolumns.h"
#include "ui/compounddetailsdialog.h"
#include "ui/compoundeditdialog.h"
#include "ui/formulamarkup.h"
#include "ui/messagebox.h"
#include "ui/usersdialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int SearchDelayMs = 250;
constexpr int ClockPeriodMs = 1000;
const QString GeometryKey = QStringLiteral("mainwindow/geometry");

// A search hit found only in a compound's extended details.
bool hitOnlyInDetails(const Compound &c)
{
    return c.details_hit && !c.base_hit;
}

QPushButton *namedButton(const QString &text, const QString &name, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

QShortcut *keys(QWidget *scope, Qt::ShortcutContext context, const QList<QKeySequence> &sequences)
{
    auto *shortcut = new QShortcut(scope);
    shortcut->setKeys(sequences);
    shortcut->setContext(context);
    return shortcut;
}

QList<QStringList> plainRows(const QList<Compound> &compounds)
{
    QList<QStringList> rows;
    rows.reserve(compounds.size());
    for (const Compound &c : compounds)
        rows.append(plainValues(c));
    return rows;
}

} // namespace

MainWindow::MainWindow(ApiClient *api, const QString &username, const QString &role,
    const QString &keresztnev, QWidget *parent)
    : QMainWindow(parent)
    , api(api)
    , username(username)
    , role(role)
    , keresztnev(keresztnev)
    , canEdit(role == QLatin1String("admin") || role == QLatin1String("editor"))
    , isAdmin(role == QLatin1String("admin"))
{
    setWindowTitle(QStringLiteral("Orvantis - %1 (%2)").arg(username, role));
    resize(1200, 800);
    // Moved onto a screen that exists now, should the saved one be gone.
    restoreGeometry(clientSettings().value(GeometryKey).toByteArray());

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    addHeader(layout);
    layout->addLayout(buildToolbar());
    buildTable();
    layout->addWidget(compoundTable);
    layout->addLayout(buildFooter());
    setCentralWidget(central);

    clockTimer = new QTimer(this);
    clockTimer->setInterval(ClockPeriodMs);
    connect(clockTimer, &QTimer::timeout, this, &MainWindow::updateClock);
    clockTimer->start();
    updateClock();

    connect(compoundTable, &QTableWidget::cellDoubleClicked, this,
        [this](int row, int) { openDetails(row); });
    connect(
        compoundTable->horizontalHeader(), &QHeaderView::sectionClicked, this, &MainWindow::sortBy);
    connect(compoundTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this](const QItemSelection &selected, const QItemSelection &deselected) {
            highlightFormulas(deselected, false);
            highlightFormulas(selected, true);
        });
    addShortcuts();
    connectApi();
    api->fetchCompounds();
}

void MainWindow::hideEvent(QHideEvent *event)
{
    clientSettings().setValue(GeometryKey, saveGeometry());
    QMainWindow::hideEvent(event);
}

void MainWindow::addHeader(QBoxLayout *layout)
{
    auto *titleLabel = new QLabel(QStringLiteral("Orvantis"), this);
    titleLabel->setStyleSheet(QStringLiteral("font-size: 32px; font-weight: bold;"));
    layout->addWidget(titleLabel);

    welcomeLabel = new QLabel(this);
    welcomeLabel->setObjectName(QStringLiteral("welcomeLabel"));
    welcomeLabel->setTextFormat(Qt::PlainText);
    welcomeLabel->setStyleSheet(QStringLiteral("font-size: 16px; color: gray;"));
    welcomeLabel->setText(
        QStringLiteral("Üdvözlöm, %1!").arg(keresztnev.isEmpty() ? username : keresztnev));
    layout->addWidget(welcomeLabel);
}

QLayout *MainWindow::buildToolbar()
{
    auto *row = new QHBoxLayout;
    if (canEdit) {
        row->addSpacing(10);
        addButton = namedButton(QStringLiteral("➕ Hozzáadás"), QStringLiteral("addButton"), this);
        editButton = namedButton(
            QStringLiteral("✏️ Szerkesztés"), QStringLiteral("editButton"), this);
        deleteButton
            = namedButton(QStringLiteral("🗑️ Törlés"), QStringLiteral("deleteButton"), this);
        row->addWidget(addButton);
        row->addWidget(editButton);
        row->addWidget(deleteButton);
        connect(addButton, &QPushButton::clicked, this, &MainWindow::addCompound);
        connect(editButton, &QPushButton::clicked, this, &MainWindow::editCompound);
        connect(deleteButton, &QPushButton::clicked, this, &MainWindow::deleteCompound);
    }
    if (isAdmin) {
        usersButton
            = namedButton(QStringLiteral("👤 Felhasználók"), QStringLiteral("usersButton"), this);
        row->addWidget(usersButton);
        connect(usersButton, &QPushButton::clicked, this, &MainWindow::openUsers);
    }
    exportButton = namedButton(QStringLiteral("Exportálás…"), QStringLiteral("exportButton"), this);
    row->addWidget(exportButton);
    connect(exportButton, &QPushButton::clicked, this, &MainWindow::exportCsv);
    searchEdit = new QLineEdit(this);
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    searchEdit->setPlaceholderText(QStringLiteral("Keresés..."));
    searchEdit->setFixedWidth(300);
    row->addWidget(searchEdit);
    row->addSpacing(10);
    noHitsLabel = new QLabel(QStringLiteral("Nincs találat."), this);
    noHitsLabel->setObjectName(QStringLiteral("noHitsLabel"));
    noHitsLabel->setTextFormat(Qt::PlainText);
    noHitsLabel->hide();
    row->addWidget(noHitsLabel);
    row->addStretch();

    searchTimer = new QTimer(this);
    searchTimer->setObjectName(QStringLiteral("searchTimer"));
    searchTimer->setSingleShot(true);
    searchTimer->setInterval(SearchDelayMs);
    connect(searchEdit, &QLineEdit::textChanged, this, &MainWindow::onSearchTextChanged);
    connect(searchTimer, &QTimer::timeout, this, &MainWindow::runSearch);
    return row;
}

void MainWindow::buildTable()
{
    compoundTable = new QTableWidget(0, CompoundColumnCount, this);
    compoundTable->setObjectName(QStringLiteral("compoundTable"));
    compoundTable->setHorizontalHeaderLabels(compoundColumnTitles());
    compoundTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    compoundTable->horizontalHeader()->setSectionsClickable(true);
    compoundTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    compoundTable->setSelectionBehavior(QAbstractItemView::SelectRows);
}

// Ctrl+F, F5 and Escape (empties the search box) anywhere in the window. The
// keys that act on rows belong to the table only, so that Delete and Ctrl+C
// keep editing the search box.
void MainWindow::addShortcuts()
{
    connect(keys(this, Qt::WindowShortcut, {QKeySequence(Qt::CTRL | Qt::Key_F)}),
        &QShortcut::activated, this, [this] {
            searchEdit->setFocus(Qt::ShortcutFocusReason);
            searchEdit->selectAll();
        });
    connect(keys(this, Qt::WindowShortcut, {QKeySequence(Qt::Key_F5)}), &QShortcut::activated, this,
        &MainWindow::reload);
    connect(keys(this, Qt::WindowShortcut, {QKeySequence(Qt::Key_Escape)}), &QShortcut::activated,
        searchEdit, &QLineEdit::clear);
    const Qt::ShortcutContext table = Qt::WidgetWithChildrenShortcut;
    connect(keys(compoundTable, table, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}),
        &QShortcut::activated, this, [this] { openDetails(compoundTable->currentRow()); });
    connect(keys(compoundTable, table, QKeySequence::keyBindings(QKeySequence::Copy)),
        &QShortcut::activated, this, &MainWindow::copySelectedRows);
    if (canEdit)
        connect(keys(compoundTable, table, {QKeySequence(Qt::Key_Delete)}), &QShortcut::activated,
            this, &MainWindow::deleteCompound);
}

QLayout *MainWindow::buildFooter()
{
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Orvantis vegyülettár"), this));
    row->addStretch();
    clockLabel = new QLabel(this);
    clockLabel->setObjectName(QStringLiteral("clockLabel"));
    row->addWidget(clockLabel);
    logoutButton
        = namedButton(QStringLiteral("Kijelentkezés"), QStringLiteral("logoutButton"), this);
    row->addWidget(logoutButton);
    connect(logoutButton, &QPushButton::clicked, this, &MainWindow::logoutRequested);
    return row;
}

void MainWindow::connectApi()
{
    // The table always matches the search box: the full list while it is
    // empty, otherwise the result for exactly the text it holds.
    connect(api, &ApiClient::compoundsOk, this, [this](const QList<Compound> &list) {
        compounds = list;
        if (pendingSearch.isEmpty())
            fillTable(list);
    });
    connect(api, &ApiClient::compoundsError, this, &MainWindow::showError);
    connect(api, &ApiClient::compoundWriteOk, this, &MainWindow::reload);
    connect(api, &ApiClient::compoundWriteError, this, &MainWindow::showError);
    connect(api, &ApiClient::compoundsSearchOk, this, [this](const QList<Compound> &list) {
        if (!answersSearchBox())
            return;
        fillTable(list);
        noHitsLabel->setVisible(list.isEmpty());
    });
    connect(api, &ApiClient::compoundsSearchError, this, [this](const QString &message) {
        if (answersSearchBox())
            showError(message);
    });
}

// Whether the search reply being delivered answers the text now in the box:
// replies to an earlier text, or arriving after the box was emptied, do not.
bool MainWindow::answersSearchBox() const
{
    return api->searchQuery() == pendingSearch;
}

void MainWindow::fillTable(const QList<Compound> &unsorted)
{
    QList<Compound> list = unsorted;
    if (sortColumn >= 0)
        sortCompounds(list, sortColumn, sortOrder);
    QStringList selectedCodes;
    for (const QModelIndex &index : compoundTable->selectionModel()->selectedRows())
        selectedCodes.append(shownCompounds.value(index.row()).kod);
    const QString currentKod = shownCompounds.value(compoundTable->currentRow()).kod;
    const int currentColumn = compoundTable->currentColumn();

    noHitsLabel->hide();
    const int rows = int(list.size());
    const int oldRows = compoundTable->rowCount();
    QStringList formulas;
    formulas.reserve(rows);
    int changedFormulas = 0;
    for (int row = 0; row < rows; ++row) {
        formulas.append(formulaToHtml(list.at(row).keplet));
        const QLabel *label = row < oldRows ? formulaLabel(row) : nullptr;
        if (label && label->text() != formulas.last())
            ++changedFormulas;
    }

    // Every formula label that is shown, moved or changed is repainted on its
    // own, at a cost that grows with the number of labels. When rows are
    // added or most formulas change, updates stay off until all is in place
    // and the table repaints as a whole; a reload that changes little
    // repaints only what changed.
    const bool repaintWhole = rows > oldRows || changedFormulas > oldRows / 2;
    const bool updates = compoundTable->updatesEnabled();
    if (repaintWhole)
        compoundTable->setUpdatesEnabled(false);
    compoundTable->setRowCount(rows);
    for (int row = 0; row < rows; ++row)
        fillRow(row, list.at(row), formulas.at(row));
    if (repaintWhole) {
        compoundTable->doItemsLayout();
        compoundTable->setUpdatesEnabled(updates);
    }
    shownCompounds = list;
    if (currentColumn >= 0 || !selectedCodes.isEmpty())
        selectCompounds(selectedCodes, currentKod, currentColumn);
}

// Selects the rows of the codes and makes the row of currentKod current (in
// currentColumn; none when negative). A compound that is no longer shown
// leaves no current row behind, so that an action never falls to the
// compound that moved into its place.
void MainWindow::selectCompounds(
    const QStringList &codes, const QString &currentKod, int currentColumn)
{
    const QSet<QString> selected(codes.cbegin(), codes.cend());
    const QAbstractItemModel *model = compoundTable->model();
    QItemSelection selection;
    QModelIndex current;
    for (int row = 0; row < shownCompounds.size(); ++row) {
        const QString &kod = shownCompounds.at(row).kod;
        if (selected.contains(kod))
            selection.select(model->index(row, 0), model->index(row, CompoundColumnCount - 1));
        if (!current.isValid() && currentColumn >= 0 && kod == currentKod)
            current = model->index(row, currentColumn);
    }
    QItemSelectionModel *selectionModel = compoundTable->selectionModel();
    selectionModel->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    selectionModel->select(selection, QItemSelectionModel::ClearAndSelect);
}

// A second click on the same header reverses the order.
void MainWindow::sortBy(int column)
{
    const bool reverse = column == sortColumn && sortOrder == Qt::AscendingOrder;
    sortOrder = reverse ? Qt::DescendingOrder : Qt::AscendingOrder;
    sortColumn = column;
    QHeaderView *header = compoundTable->horizontalHeader();
    header->setSortIndicator(column, sortOrder);
    header->setSortIndicatorShown(true);
    fillTable(shownCompounds);
}

// The formula labels sit on top of their cells: in a selected row they take
// the selection's text colour like the item texts beside them.
void MainWindow::highlightFormulas(const QItemSelection &rows, bool selected)
{
    for (const QModelIndex &index : rows.indexes()) {
        if (index.column() != KepletColumn)
            continue;
        if (QLabel *label = formulaLabel(index.row()))
            label->setForegroundRole(selected ? QPalette::HighlightedText : QPalette::WindowText);
    }
}

QLabel *MainWindow::formulaLabel(int row) const
{
    return qobject_cast<QLabel *>(compoundTable->cellWidget(row, KepletColumn));
}

void MainWindow::fillRow(int row, const Compound &c, const QString &formula)
{
    const auto setCell = [this, row](int column, const QString &text) {
        if (QTableWidgetItem *item = compoundTable->item(row, column))
            item->setText(text);
        else
            compoundTable->setItem(row, column, new QTableWidgetItem(text));
    };
    setCell(KodColumn, c.kod);
    // The flows read the records, never the cells, so the marker may join
    // the name.
    const bool inDetails = hitOnlyInDetails(c);
    setCell(NevColumn, inDetails ? c.nev + QStringLiteral(" (a részletekben)") : c.nev);
    const QString hint
        = inDetails ? QStringLiteral("A keresett szöveg a részletekben szerepel.") : QString();
    compoundTable->item(row, NevColumn)->setToolTip(hint);
    setCell(MolarisTomegColumn, c.molaris_tomeg);
    setCell(SzinColumn, c.szin);
    setCell(HalmazallapotColumn, c.halmazallapot);

    if (QLabel *label = formulaLabel(row)) {
        label->setText(formula);
        return;
    }
    auto *label = new QLabel;
    label->setTextFormat(Qt::RichText);
    label->setAlignment(Qt::AlignCenter);
    label->setText(formula);
    // Sized up front, the label is not laid out for its size hint when the
    // view shows it; the view gives it the cell's geometry anyway.
    label->resize(compoundTable->columnWidth(KepletColumn), compoundTable->rowHeight(row));
    compoundTable->setCellWidget(row, KepletColumn, label);
}

void MainWindow::updateClock()
{
    clockLabel->setText(
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy.MM.dd HH:mm:ss")));
}

void MainWindow::openDetails(int row)
{
    if (row < 0 || row >= shownCompounds.size())
        return;
    CompoundDetailsDialog dialog(api, shownCompounds.at(row), role, this);
    runModal([&dialog] { return dialog.exec(); });
}

void MainWindow::endSession()
{
    if (sessionOver)
        return;
    sessionOver = true;
    searchTimer->stop();
    disconnect(api, nullptr, this, nullptr);
    const QList<QDialog *> dialogs = findChildren<QDialog *>();
    for (QDialog *dialog : dialogs) {
        disconnect(api, nullptr, dialog, nullptr);
        if (dialog->isVisible())
            dialog->reject();
    }
    requestLogoutWhenIdle();
}

// The window must outlive the stack frames of its modal steps: an ended
// session asks for the logout only once the last of them has returned.
void MainWindow::requestLogoutWhenIdle()
{
    if (openModals == 0)
        QMetaObject::invokeMethod(this, &MainWindow::logoutRequested, Qt::QueuedConnection);
}

// Every modal step of the window runs through here; after the session ended
// its result counts as cancelled.
int MainWindow::runModal(const std::function<int()> &run)
{
    if (sessionOver)
        return QDialog::Rejected;
    ++openModals;
    const int result = run();
    --openModals;
    if (!sessionOver)
        return result;
    requestLogoutWhenIdle();
    return QDialog::Rejected;
}

void MainWindow::onSearchTextChanged(const QString &text)
{
    pendingSearch = text.trimmed();
    if (!pendingSearch.isEmpty()) {
        searchTimer->start();
        return;
    }
    // An emptied box shows the full list at once.
    searchTimer->stop();
    fillTable(compounds);
}

void MainWindow::runSearch()
{
    if (!sessionOver && !pendingSearch.isEmpty())
        api->searchCompounds(pendingSearch);
}

// The full list, and the search shown, read again.
void MainWindow::reload()
{
    if (sessionOver)
        return;
    api->fetchCompounds();
    if (!pendingSearch.isEmpty())
        api->searchCompounds(pendingSearch);
}

void MainWindow::exportCsv()
{
    QFileDialog dialog(this, QStringLiteral("Exportálás"),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
        QStringLiteral("CSV-fájl (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(QStringLiteral("vegyuletek.csv"));
    if (runModal([&dialog] { return dialog.exec(); }) != QDialog::Accepted
        || dialog.selectedFiles().isEmpty())
        return;
    exportTo(dialog.selectedFiles().constFirst());
}

// The column titles on top, then the plain values.
void MainWindow::exportTo(const QString &path)
{
    const QByteArray csv
        = spreadsheetCsv(QList<QStringList> {compoundColumnTitles()} + plainRows(shownCompounds));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        showError(QStringLiteral("Nem sikerült menteni: %1").arg(file.errorString()));
}

// The selected rows, top to bottom, as tab-separated plain values.
void MainWindow::copySelectedRows()
{
    QModelIndexList selected = compoundTable->selectionModel()->selectedRows();
    std::sort(selected.begin(), selected.end());
    QList<Compound> rows;
    for (const QModelIndex &index : selected)
        rows.append(shownCompounds.value(index.row()));
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(
            delimitedText(plainRows(rows), QLatin1Char('\t'), QLatin1String("\n")));
}

void MainWindow::addCompound()
{
    CompoundEditDialog dialog(this);
    dialog.setEditMode(false);
    if (runModal([&dialog] { return dialog.exec(); }) != QDialog::Accepted)
        return;
    const Compound c = dialog.compound();
    if (c.kod.isEmpty() || c.nev.isEmpty()) {
        showError(QStringLiteral("Kód és Név kötelező."));
        return;
    }
    api->createCompound(c);
}

void MainWindow::editCompound()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    // A list reply may refill the table while the dialog runs: the record is
    // taken now, and its code is used exactly as listed, since the server may
    // hold codes with surrounding blanks that trimming would turn into another.
    const Compound listed = shownCompounds.at(row);
    CompoundEditDialog dialog(this);
    dialog.setEditMode(true);
    dialog.setCompound(listed);
    if (runModal([&dialog] { return dialog.exec(); }) != QDialog::Accepted)
        return;
    Compound c = dialog.compound();
    if (c.nev.isEmpty()) {
        showError(QStringLiteral("Név kötelező."));
        return;
    }
    c.kod = listed.kod;
    api->updateCompound(listed.kod, c);
}

void MainWindow::deleteCompound()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString kod = shownCompounds.at(row).kod;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Törlés"),
        QStringLiteral("Biztos törlöd: %1 ?").arg(kod), QMessageBox::Yes | QMessageBox::No, this);
    question.setTextFormat(Qt::PlainText);
    if (runModal([&question] { return question.exec(); }) == QMessageBox::Yes)
        api->deleteCompound(kod);
}

void MainWindow::openUsers()
{
    UsersDialog dialog(api, username, this);
    runModal([&dialog] { return dialog.exec(); });
}

void MainWindow::showError(const QString &message)
{
    runModal([this, &message] {
        showWarning(this, QStringLiteral("Hiba"), message);
        return 0;
    });
}

// The current row of the table, or -1 after telling the user to pick one.
int MainWindow::selectedRow()
{
    const int row = compoundTable->currentRow();
    if (row < 0 || row >= shownCompounds.size()) {
        showError(QStringLiteral("Válassz ki egy sort!"));
        return -1;
    }
    return row;
}
