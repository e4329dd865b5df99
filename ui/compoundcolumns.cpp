#include "ui/compoundcolumns.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <vector>

namespace {

// A decimal comma reads as a point. "nan" and "inf" are no numbers here: they
// would leave the order undefined.
std::optional<double> numberIn(const QString &text)
{
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// The indices of the list's rows in the order of one column. Equal values
// keep the list's order, in either direction.
std::vector<int> sortedRows(const QList<Compound> &list, int column, Qt::SortOrder order)
{
    // Keys made once: comparing them is far cheaper than collating texts.
    const QCollator collator(QLocale(QLocale::Hungarian, QLocale::Hungary));
    std::vector<QCollatorSortKey> texts;
    std::vector<std::optional<double>> numbers;
    texts.reserve(list.size());
    numbers.reserve(list.size());
    for (const Compound &c : list) {
        const QString value = plainValue(c, column);
        numbers.push_back(column == MolarisTomegColumn ? numberIn(value) : std::nullopt);
        if (column != KepletColumn)
            texts.push_back(collator.sortKey(value));
    }
    const auto less = [&](int a, int b) {
        if (column == KepletColumn)
            return list.at(a).keplet < list.at(b).keplet;
        if (numbers[a] && numbers[b])
            return *numbers[a] < *numbers[b];
        if (numbers[a] || numbers[b])
            return bool(numbers[a]);
        return texts[a].compare(texts[b]) < 0;
    };
    std::vector<int> rows(list.size());
    std::iota(rows.begin(), rows.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(rows.begin(), rows.end(), less);
    else
        std::stable_sort(rows.begin(), rows.end(), [&less](int a, int b) { return less(b, a); });
    return rows;
}

// Texts that a spreadsheet would read as a formula, or as the start of one.
bool runsAsFormula(const QString &field)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    return !field.isEmpty() && starts.contains(field.front());
}

QString delimitedField(QString field, QChar separator)
{
    if (runsAsFormula(field))
        field.prepend(QLatin1Char('\''));
    const bool quoted = field.contains(separator) || field.contains(QLatin1Char('"'))
        || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'));
    if (!quoted)
        return field;
    field.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

} // namespace

QStringList compoundColumnTitles()
{
    return {QStringLiteral("Kód"), QStringLiteral("Név"), QStringLiteral("Képlet"),
        QStringLiteral("Moláris tömeg"), QStringLiteral("Szín"), QStringLiteral("Halmazállapot")};
}

QString plainValue(const Compound &compound, int column)
{
    switch (column) {
    case KodColumn:
        return compound.kod;
    case NevColumn:
        return compound.nev;
    case KepletColumn:
        return compound.keplet;
    case MolarisTomegColumn:
        return compound.molaris_tomeg;
    case SzinColumn:
        return compound.szin;
    case HalmazallapotColumn:
        return compound.halmazallapot;
    default:
        return QString();
    }
}

QStringList plainValues(const Compound &compound)
{
    QStringList values;
    for (int column = 0; column < CompoundColumnCount; ++column)
        values.append(plainValue(compound, column));
    return values;
}

void sortCompounds(QList<Compound> &list, int column, Qt::SortOrder order)
{
    QList<Compound> sorted;
    sorted.reserve(list.size());
    for (int row : sortedRows(list, column, order))
        sorted.append(list.at(row));
    list = std::move(sorted);
}

QString delimitedText(const QList<QStringList> &rows, QChar separator, QLatin1String lineEnd)
{
    QString text;
    for (const QStringList &row : rows) {
        QStringList fields;
        for (const QString &field : row)
            fields.append(delimitedField(field, separator));
        text += fields.join(separator) + lineEnd;
    }
    return text;
}

QByteArray spreadsheetCsv(const QList<QStringList> &rows)
{
    return QByteArrayLiteral("\xEF\xBB\xBF")
        + delimitedText(rows, QLatin1Char(';'), QLatin1String("\r\n")).toUtf8();
}
