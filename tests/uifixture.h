#pragma once

#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QStandardPaths>

#include <QTest>
#include <algorithm>

#include <cstddef>

// Where every window test starts: a scripted server on loopback, a client
// signed in to it, and the answerer of the modal boxes the window opens.
struct UiFixture {
    LoopbackServer server;
    ApiClient api {server.origin()};
    ModalAnswerer modals;

    UiFixture()
    {
        registerRecordTypes();
        QStandardPaths::setTestModeEnabled(true); // windows and dialogs write settings
        api.setToken(QStringLiteral("t0ken"));
    }

    // Requests with this method and path (without the query).
    int count(const QByteArray &method, const QByteArray &path) const
    {
        return int(std::count_if(server.requests().cbegin(), server.requests().cend(),
            [&](const RecordedRequest &r) { return r.method == method && r.path() == path; }));
    }

    // Returns once every request sent before it has reached the server, so
    // that a test can tell that something was not sent. It goes round the
    // client, whose signals the window under test listens to, and leaves a
    // GET /fence among the recorded requests. Not while the server holds.
    bool fence()
    {
        QNetworkAccessManager manager;
        QNetworkReply *reply
            = manager.get(QNetworkRequest(QUrl(server.origin() + QStringLiteral("/fence"))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        const bool answered = done.wait();
        delete reply;
        return answered;
    }
};

// The rows of a table-driven test from a static table of cases, each with a
// `name`: the test function reads its case by the row's "index".
template<typename Case, std::size_t N> void addRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}
