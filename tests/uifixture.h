#pragma once

#include "api/apiclient.h"
#include "api/recordtypes.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "ui/logindialog.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
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

    // Returns once every request the client has sent so far has been
    // answered, and so recorded by the server, so that a test can tell that
    // something was not sent. Not while the server holds.
    bool fence()
    {
        const auto *manager = api.findChild<QNetworkAccessManager *>();
        return QTest::qWaitFor([manager] {
            const auto replies = manager->findChildren<QNetworkReply *>();
            return std::all_of(replies.cbegin(), replies.cend(),
                [](const QNetworkReply *reply) { return reply->isFinished(); });
        });
    }
};

// Signs in through the login dialog the way a user does.
inline ModalAnswerer::Answer signIn(const char *username)
{
    return ModalAnswerer::fill<LoginDialog>([username](LoginDialog *d) {
        d->findChild<QLineEdit *>("usernameEdit")->setText(username);
        d->findChild<QLineEdit *>("passwordEdit")->setText("titok");
        d->findChild<QPushButton *>("loginButton")->click();
    });
}

// The rows of a table-driven test from a static table of cases, each with a
// `name`: the test function reads its case by the row's "index".
template<typename Case, std::size_t N> void addRows(const Case (&cases)[N])
{
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(cases[i].name) << int(i);
}
