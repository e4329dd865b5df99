// The server's API against the real process: who may call what; sign-in,
// registration and account administration; writes under concurrency and
// after a killed process.
#include "httpprobe.h"
#include "serverprocess.h"

#include <QJsonArray>
#include <QThreadPool>

// Who may call what ("*": no token, an unknown one, user, editor, admin,
// admin* that confirms its password first), then sign-in, registration
// and account administration, each row on what the rows before it left.
const char *const Requests = R"(
admin* POST /api/v1/admin/reauth | {"password":"Admin#2026"} | 200
* GET /api/v1/compounds | | 401 401 200 200 200 200
* GET /api/v1/compounds/search?q=v | | 401 401 200 200 200 200
* GET /api/v1/compounds/VEG-001/details | | 401 401 200 200 200 200
* POST /api/v1/compounds | {} | 401 401 403 422 422 422
* PUT /api/v1/compounds/VEG-001 | {"kod":"VEG-001","nev":"Víz","keplet":"H2O","molaris_tomeg":"18.015","szin":"","halmazallapot":""} | 401 401 403 200 200 200
* DELETE /api/v1/compounds/NINCS | | 401 401 403 404 404 404
* PUT /api/v1/compounds/VEG-001/details | {} | 401 401 403 422 422 422
* GET /api/v1/users | | 401 401 403 403 200 200
* PUT /api/v1/users/user | {} | 401 401 403 403 403 422
* PUT /api/v1/users/user/password | {} | 401 401 403 403 403 422
* PUT /api/v1/users/user/role | {} | 401 401 403 403 403 422
// Last, as it confirms the "admin" session too.
* POST /api/v1/admin/reauth | {"password":"Admin#2026"} | 401 401 403 403 200 200
- POST /api/v1/auth/login | {"felhasznalonev":"editor","jelszo":"Editor#2026"} | 200 "keresztnev":"Péter","szerepkor":"editor","token_type":"bearer"}
- POST /api/v1/auth/login | {"felhasznalonev":"editor","jelszo":"Admin#2026"} | 401 {"detail":"Hibás felhasználónév vagy jelszó."}
- POST /api/v1/auth/register | {"felhasznalonev":"régi/név?","vezeteknev":"Őri","keresztnev":"Űrsula","jelszo":" szó köz ","email":"u@example.org"} | 201 "felhasznalonev":"régi/név?","keresztnev":"Űrsula","szerepkor":"user"
- POST /api/v1/auth/login | {"felhasznalonev":"régi/név?","jelszo":" szó köz "} | 200 "keresztnev":"Űrsula","szerepkor":"user"
- POST /api/v1/auth/register | {"felhasznalonev":"EDITOR","vezeteknev":"V","keresztnev":"K","jelszo":"12345678","email":"a@b"} | 409 {"detail":"Ez a felhasználónév már foglalt."}
admin POST /api/v1/admin/reauth | {"password":"Editor#2026"} | 403 {"detail":"Hibás admin jelszó."}
admin GET /api/v1/users | | 200 [{"email":"admin@orvantis.example","felhasznalonev":"admin","keresztnev":"Anna","szerepkor":"admin","vezeteknev":"Kovács"},
admin* PUT /api/v1/users/régi%2Fnév%3F | {"new_username":"új név","vezeteknev":"Őri","keresztnev":"Űrsula","email":"u@example.org","szerepkor":"editor"} | 200 "felhasznalonev":"új név"
admin* PUT /api/v1/users/új%20név/password | {"new_password":"Új-jelszó-2"} | 200
- POST /api/v1/auth/login | {"felhasznalonev":"régi/név?","jelszo":" szó köz "} | 401
- POST /api/v1/auth/login | {"felhasznalonev":"új név","jelszo":"Új-jelszó-2"} | 200 "szerepkor":"editor"
// A new password ends the other sessions of the account, not the one that set it.
admin* PUT /api/v1/users/admin/password | {"new_password":"Admin#2026"} | 200
admin GET /api/v1/users | | 401
admin* PUT /api/v1/users/editor/role | {"szerepkor":"user"} | 200 {"felhasznalonev":"editor","szerepkor":"user"}
editor PUT /api/v1/compounds/VEG-001 | {"kod":"VEG-001","nev":"Víz","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""} | 403
admin* PUT /api/v1/users/editor/role | {"szerepkor":"Admin"} | 422 {"detail":"Ismeretlen szerepkör (user, editor vagy admin lehet)."}
admin* PUT /api/v1/users/admin/role | {"szerepkor":"editor"} | 409 {"detail":"Legalább egy admin szerepkörű felhasználónak maradnia kell."}
admin* PUT /api/v1/users/admin | {"new_username":"admin","vezeteknev":"K","keresztnev":"A","email":"a@b","szerepkor":"user"} | 409 {"detail":"Legalább egy admin szerepkörű felhasználónak maradnia kell."}
admin* PUT /api/v1/users/editor/role | {"szerepkor":"admin"} | 200
admin* PUT /api/v1/users/editor/role | {"szerepkor":"editor"} | 200
admin* PUT /api/v1/users/nincs/role | {"szerepkor":"user"} | 404 {"detail":"Nincs ilyen felhasználó."}
admin* PUT /api/v1/users/user | {"new_username":"Editor","vezeteknev":"N","keresztnev":"É","email":"a@b","szerepkor":"user"} | 409 {"detail":"Ez a felhasználónév már foglalt."}
)";

class TestServerApi : public QObject {
    Q_OBJECT

    ServerProcess server;
    QHash<QString, QByteArray> tokens; // by caller

    // The compounds of the concurrency check: code and name.
    QStringList written()
    {
        QStringList found;
        const auto [status, list]
            = HttpProbe {server.origin, tokens.value("editor")}.send("GET", "/api/v1/compounds");
        for (const QJsonValue &c : QJsonDocument::fromJson(list).array())
            if (c["kod"].toString().startsWith('P'))
                found << c["kod"].toString() + ' ' + c["nev"].toString();
        return found;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(server.start());
        tokens = signInCallers(server.origin);
    }

    void cleanupTestCase()
    {
        QVERIFY(server.stop());
    }

    void requests_data()
    {
        addRequestRows(Requests);
    }

    void requests()
    {
        checkRequestRow(server.origin, tokens);
    }

    // Writers at once, each on codes of its own, reading between its writes:
    // afterwards exactly the acknowledged writes are listed, and they outlive a
    // killed server.
    void acknowledgedWritesSurviveConcurrencyAndAKill()
    {
        QList<QList<int>> refusals(6); // statuses of failed steps, by writer
        QStringList expected;
        QThreadPool writers;
        writers.setMaxThreadCount(6);
        for (int w = 0; w < 6; ++w) {
            for (int i = 1; i < 10; i += 2)
                expected << QString("P%1-%2 módosított").arg(w).arg(i);
            writers.start([this, w, refused = &refusals[w]] {
                HttpProbe editor {server.origin, tokens.value("editor")};
                for (int i = 0; i < 10; ++i) {
                    const QString kod = QString("P%1-%2").arg(w).arg(i),
                                  path = "/api/v1/compounds/" + kod;
                    const QString body = QString(
                        R"({"kod":"%1","nev":"%2","keplet":"","molaris_tomeg":"","szin":"","halmazallapot":""})")
                                             .arg(kod);
                    const QList<int> statuses {
                        editor.send("POST", "/api/v1/compounds", body.arg("új").toUtf8()).first,
                        editor.send("GET", "/api/v1/compounds").first,
                        editor.send("PUT", path, body.arg("módosított").toUtf8()).first,
                        i % 2 ? 200 : editor.send("DELETE", path).first};
                    if (statuses != QList<int> {201, 200, 200, 200})
                        *refused << statuses;
                }
            });
        }
        writers.waitForDone();
        QCOMPARE(refusals, QList<QList<int>>(6));
        QCOMPARE(written(), expected);

        server.process.kill();
        QVERIFY(server.process.waitForFinished() && server.start());
        HttpProbe oldToken {server.origin, tokens.value("editor")};
        QCOMPARE(oldToken.send("GET", "/api/v1/compounds").first, 401); // refused, not unanswered
        tokens = signInCallers(server.origin);
        QCOMPARE(written(), expected);
    }
};

QTEST_GUILESS_MAIN(TestServerApi)
#include "tst_server_api.moc"
