#pragma once

#include "api/compound.h"

#include <QList>
#include <QString>
#include <QStringList>

// The columns of the compound table, in order.
enum CompoundColumn {
    KodColumn,
    NevColumn,
    KepletColumn,
    MolarisTomegColumn,
    SzinColumn,
    HalmazallapotColumn,
    CompoundColumnCount
};

QStringList compoundColumnTitles();

// The stored value behind a column, as plain text: the formula without
// markup, the name without any search marker.
QString plainValue(const Compound &compound, int column);
QStringList plainValues(const Compound &compound);

// Sorts stably by one column: the molar mass as a number (values that are no
// number after all numbers), the formula by its plain text, every other
// column by Hungarian collation. Equal values keep their order in either
// direction.
void sortCompounds(QList<Compound> &list, int column, Qt::SortOrder order);

// Rows as delimited text for spreadsheets: a field holding the separator, a
// quote or a line break is quoted (quotes doubled), and a field that a
// spreadsheet would run as a formula gets a leading apostrophe.
QString delimitedText(const QList<QStringList> &rows, QChar separator, QLatin1String lineEnd);

// The bytes of a CSV file for spreadsheets set to Hungarian: UTF-8 with a
// byte order mark, ';' between fields, CRLF after every row.
QByteArray spreadsheetCsv(const QList<QStringList> &rows);
