// Measures how fast a compound list reply becomes a QList<Compound>, against
// the bare cost of parsing the JSON and reading six strings per entry, and
// how long a whole fetchCompounds round trip over loopback takes.

#include "api/apiclient.h"
#include "api/compound.h"
#include "tests/loopbackserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTextStream>
#include <QVariant>

#include <algorithm>
#include <functional>

namespace {

QByteArray listBody(int count)
{
    QJsonArray array;
    for (int i = 0; i < count; ++i) {
        array.append(QJsonObject {
            {QStringLiteral("kod"), QStringLiteral("C%1").arg(i, 6, 10, QLatin1Char('0'))},
            {QStringLiteral("nev"), QStringLiteral("Vegyület %1").arg(i)},
            {QStringLiteral("keplet"), QStringLiteral("C6H12O6")},
            {QStringLiteral("molaris_tomeg"), QStringLiteral("180,16")},
            {QStringLiteral("szin"), QStringLiteral("fehér")},
            {QStringLiteral("halmazallapot"), QStringLiteral("szilárd")},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QJsonDocument parsedAsTheHandlerDoes(const QByteArray &body)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        qFatal("benchmark body is not a JSON array");
    return document;
}

// (a) What the list reply handler does. The list is handed back so that
// releasing it falls outside the measured time, as it does for the handler.
QVariant clientDecoding(const QByteArray &body)
{
    return QVariant::fromValue(compoundsFromJson(parsedAsTheHandlerDoes(body).array(), false));
}

// (b) The floor: the same parse and six plain strings read per entry.
QVariant bareDecoding(const QByteArray &body)
{
    const QJsonArray array = parsedAsTheHandlerDoes(body).array();
    qsizetype characters = 0;
    for (const QJsonValue &value : array) {
        const QJsonObject object = value.toObject();
        const QString kod = object.value(QLatin1String("kod")).toString();
        const QString nev = object.value(QLatin1String("nev")).toString();
        const QString keplet = object.value(QLatin1String("keplet")).toString();
        const QString molarisTomeg = object.value(QLatin1String("molaris_tomeg")).toString();
        const QString szin = object.value(QLatin1String("szin")).toString();
        const QString halmazallapot = object.value(QLatin1String("halmazallapot")).toString();
        characters += kod.size() + nev.size() + keplet.size() + molarisTomeg.size() + szin.size()
            + halmazallapot.size();
    }
    return QVariant::fromValue(characters);
}

// (c) A whole fetchCompounds: request, loopback transfer, handler, signal.
QVariant roundTrip(ApiClient &api)
{
    QEventLoop loop;
    qsizetype received = -1;
    QObject::connect(&api, &ApiClient::compoundsOk, &loop, [&](const QList<Compound> &list) {
        received = list.size();
        loop.quit();
    });
    QObject::connect(&api, &ApiClient::compoundsError, &loop,
        [&](const QString &message) { qFatal("round trip failed: %s", qPrintable(message)); });
    api.fetchCompounds();
    loop.exec();
    return QVariant::fromValue(received);
}

// Best time of several runs of each piece of work, in seconds. The runs take
// turns so that a load that comes and goes affects all of them alike.
QList<double> bestSeconds(int runs, const QList<std::function<QVariant()>> &works)
{
    QList<double> best(works.size(), 1e300);
    for (int i = 0; i < runs; ++i) {
        for (qsizetype w = 0; w < works.size(); ++w) {
            QElapsedTimer timer;
            timer.start();
            const QVariant result = works.at(w)();
            best[w] = std::min(best.at(w), timer.nsecsElapsed() / 1e9);
            if (!result.isValid())
                qFatal("no result");
        }
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    LoopbackServer server;
    ApiClient api;
    api.setBaseUrl(server.origin());

    bool allWithinTarget = true;
    for (int count : {10000, 100000}) {
        const QByteArray body = listBody(count);
        server.answerAllWith(ScriptedResponse::json(200, body));
        const int runs = count >= 100000 ? 10 : 50;

        roundTrip(api); // warm up the connection and the allocator
        const auto decode = [&] {
            return clientDecoding(body);
        };
        const auto decodeAndFree = [&] {
            return QVariant(clientDecoding(body).isValid());
        };
        const auto bareRead = [&] {
            return bareDecoding(body);
        };
        const auto fetch = [&] {
            return roundTrip(api);
        };
        const QList<double> best = bestSeconds(runs, {decode, decodeAndFree, bareRead, fetch});
        const double client = best.at(0);
        const double clientFreed = best.at(1);
        const double bare = best.at(2);
        const double trip = best.at(3);
        const double ratio = client / bare;
        allWithinTarget = allWithinTarget && ratio <= 1.3;

        out << count << " compounds, " << body.size() / 1024 << " KiB body, best of " << runs
            << " runs\n";
        out << QStringLiteral("  (a) client decoding    %1 compounds/s  (%2 ms)\n")
                   .arg(count / client, 12, 'f', 0)
                   .arg(client * 1e3, 0, 'f', 2);
        out << QStringLiteral("      ... and freeing    %1 compounds/s  (%2 ms)\n")
                   .arg(count / clientFreed, 12, 'f', 0)
                   .arg(clientFreed * 1e3, 0, 'f', 2);
        out << QStringLiteral("  (b) bare parse + read  %1 compounds/s  (%2 ms)\n")
                   .arg(count / bare, 12, 'f', 0)
                   .arg(bare * 1e3, 0, 'f', 2);
        out << QStringLiteral("  (c) fetchCompounds     %1 compounds/s  (%2 ms)\n")
                   .arg(count / trip, 12, 'f', 0)
                   .arg(trip * 1e3, 0, 'f', 2);
        out << QStringLiteral("  a/b = %1 (target <= 1.30)\n").arg(ratio, 0, 'f', 3);
        out.flush();
    }
    return allWithinTarget ? 0 : 1;
}
