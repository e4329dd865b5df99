// Wall time and peak memory of MainWindow::fillTable for 1,000 and 10,000
// compounds. Cases: "first" fills the empty table; "refill" replaces every
// row by a different compound of the same count; "reload" is the same list
// with one name changed, as after an edit; "search" replaces the list by 50
// search results.
//
//   bench_filltable                          every case, each in fresh processes
//   bench_filltable <rows> <first|refill|reload|search>   one case
//
// "fill" is the call itself; "shown" adds the relayout and one full repaint
// of the window. Peak RSS is VmHWM of /proc/self/status; "added" is its rise
// over the state just before the measured fill.

#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

const char *const Modes[] = {"first", "refill", "reload", "search"};
constexpr int SearchRows = 50;

const char *const Formulas[] = {
    "H2O", "H2SO4", "NaCl", "C2H5OH", "C6H12O6", "CaCO3", "KMnO4", "NH3", "C8H10N4O2", "Fe2(SO4)3"};

// Every field of every row depends on the tag, the formula included.
QList<Compound> makeCompounds(int count, int tag)
{
    QList<Compound> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i) {
        Compound c;
        c.kod = QStringLiteral("%1-%2").arg(tag).arg(i, 5, 10, QLatin1Char('0'));
        c.nev = QStringLiteral("Vegyület %1 %2").arg(tag).arg(i);
        c.keplet = QString::fromLatin1(Formulas[(i + tag) % std::size(Formulas)]);
        c.molaris_tomeg = QString::number(18.015 + i * 0.5, 'f', 3);
        c.szin = QStringLiteral("színtelen");
        c.halmazallapot = QStringLiteral("folyékony");
        list.append(c);
    }
    return list;
}

qint64 peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The list shown before the measured fill, and the list of the fill.
struct Case {
    QList<Compound> before;
    QList<Compound> list;
};

Case makeCase(int rows, const QString &mode)
{
    if (mode == QLatin1String("first"))
        return {{}, makeCompounds(rows, 1)};
    const QList<Compound> before = makeCompounds(rows, 1);
    if (mode == QLatin1String("refill"))
        return {before, makeCompounds(rows, 2)};
    if (mode == QLatin1String("reload")) {
        QList<Compound> list = before;
        list[rows / 2].nev += QStringLiteral(" (javítva)");
        return {before, list};
    }
    return {before, makeCompounds(SearchRows, 2)};
}

int runCase(int rows, const QString &mode)
{
    LoopbackServer server;
    server.answerAllWith(ScriptedResponse::json(200, "[]"));
    ApiClient api;
    api.setBaseUrl(server.origin());
    QSignalSpy listed(&api, &ApiClient::compoundsOk);
    MainWindow window(&api, QStringLiteral("bench"), QStringLiteral("user"), QString());
    window.show();
    if (!listed.wait(10000))
        return 1;

    const Case c = makeCase(rows, mode);
    if (!c.before.isEmpty()) {
        window.fillTable(c.before);
        QApplication::processEvents();
        window.repaint();
    }
    QApplication::processEvents();
    const qint64 rssBefore = peakRssKb();

    QElapsedTimer timer;
    timer.start();
    window.fillTable(c.list);
    const qint64 fillNs = timer.nsecsElapsed();
    QApplication::processEvents();
    window.repaint();
    const qint64 shownNs = timer.nsecsElapsed();
    const qint64 rssAfter = peakRssKb();

    std::printf("%d %s %.1f %.1f %lld %lld\n", rows, qPrintable(mode), fillNs / 1e6, shownNs / 1e6,
        rssAfter, rssAfter - rssBefore);
    return 0;
}

int runAll(const QString &program)
{
    constexpr int Repeats = 3;
    std::printf("%-7s %-7s %10s %10s %14s %14s\n", "rows", "case", "fill ms", "shown ms",
        "peak RSS KiB", "added KiB");
    for (const int rows : {1000, 10000}) {
        for (const char *mode : Modes) {
            QList<QStringList> runs;
            for (int i = 0; i < Repeats; ++i) {
                QProcess child;
                child.start(program, {QString::number(rows), QString::fromLatin1(mode)});
                if (!child.waitForFinished(300000) || child.exitCode() != 0) {
                    std::fprintf(stderr, "case %d %s failed\n", rows, mode);
                    return 1;
                }
                runs.append(QString::fromLatin1(child.readAllStandardOutput().trimmed())
                                .split(QLatin1Char(' ')));
            }
            // The median run by time until shown.
            std::sort(runs.begin(), runs.end(), [](const QStringList &a, const QStringList &b) {
                return a.value(3).toDouble() < b.value(3).toDouble();
            });
            const QStringList &m = runs.at(Repeats / 2);
            std::printf("%-7s %-7s %10s %10s %14s %14s\n", qPrintable(m.value(0)),
                qPrintable(m.value(1)), qPrintable(m.value(2)), qPrintable(m.value(3)),
                qPrintable(m.value(4)), qPrintable(m.value(5)));
            std::fflush(stdout);
        }
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    registerRecordTypes();
    const QStringList args = QApplication::arguments();
    if (args.size() == 3)
        return runCase(args.at(1).toInt(), args.at(2));
    return runAll(QApplication::applicationFilePath());
}
