#include "api/apiclient.h"
#include "api/serverorigin.h"
#include "tests/loopbackserver.h"
#include "tests/modalanswerer.h"
#include "tests/testorigin.h"
#include "ui/logindialog.h"
#include "ui/registerdialog.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray LoginPath = "/api/v1/auth/login";
const QByteArray RegisterPath = "/api/v1/auth/register";

ScriptedResponse loginAccepted(const QByteArray &token = "tok")
{
    return ScriptedResponse::json(
        200, R"({"access_token":")" + token + R"(","szerepkor":"editor","keresztnev":"Anna"})");
}

ScriptedResponse loginRefused(const QByteArray &detail)
{
    return ScriptedResponse::json(401, R"({"detail":")" + detail + R"("})");
}

QJsonObject bodyOf(const RecordedRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

int countPath(const LoopbackServer &server, const QByteArray &path)
{
    int n = 0;
    for (const RecordedRequest &r : server.requests())
        n += r.path() == path ? 1 : 0;
    return n;
}

template<typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

void fillLogin(QWidget *dialog, const QString &username, const QString &password)
{
    child<QLineEdit>(dialog, "usernameEdit")->setText(username);
    child<QLineEdit>(dialog, "passwordEdit")->setText(password);
}

const char *const RegistrationFields[]
    = {"usernameEdit", "lastNameEdit", "firstNameEdit", "passwordEdit", "emailEdit"};

void fillRegistration(QWidget *dialog, const QStringList &values)
{
    for (int i = 0; i < 5; ++i)
        child<QLineEdit>(dialog, RegistrationFields[i])->setText(values.at(i));
}

bool submitRegistration(QWidget *w)
{
    auto *registration = qobject_cast<RegisterDialog *>(w);
    if (!registration)
        return false;
    fillRegistration(registration, {"uj", "Kiss", "Anna", "titok", "a@b.hu"});
    child<QPushButton>(registration, "registerButton")->click();
    return true;
}

} // namespace

class TestLoginDialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(origin.adoptListeningSocket(TestOriginSocket));
        QCOMPARE(origin.origin(), DefaultServerOrigin);
    }

    void init()
    {
        origin.clearRequests();
        origin.setHolding(false);
        origin.answerAllWith(loginAccepted());
    }

    void enterGivesOneAttempt_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("valid");

        const auto row = [](const char *name, const char *field, const char *username,
                             const char *password, bool valid) {
            QTest::newRow(name) << field << username << password << valid;
        };
        row("empty, user name field", "usernameEdit", "", "", false);
        row("empty, password field", "passwordEdit", "", "", false);
        row("blank user name", "passwordEdit", "   ", "pw", false);
        row("no password", "usernameEdit", "anna", "", false);
        row("filled, user name field", "usernameEdit", "anna", "pw", true);
        row("filled, password field", "passwordEdit", "anna", "pw", true);
    }

    void enterGivesOneAttempt()
    {
        QFETCH(QString, field);
        QFETCH(QString, username);
        QFETCH(QString, password);
        QFETCH(bool, valid);

        ApiClient api;
        LoginDialog dialog(&api);
        dialog.show();
        fillLogin(&dialog, username, password);
        ModalAnswerer answerer;

        QTest::keyClick(child<QLineEdit>(&dialog, field.toLatin1().constData()), Qt::Key_Return);

        if (valid) {
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(origin.requests().size(), 1);
            QCOMPARE(answerer.seen().size(), 0);
        } else {
            QCOMPARE(answerer.seen().size(), 1);
            const SeenModal warning = answerer.seen().first();
            QCOMPARE(warning.title, QStringLiteral("Hiba"));
            QCOMPARE(warning.text, QStringLiteral("Add meg a felhasználónevet és jelszót."));
            QCOMPARE(warning.icon, QMessageBox::Warning);
            QCOMPARE(warning.buttons.size(), 1);
            QVERIFY(dialog.isVisible());
            QVERIFY(child<QPushButton>(&dialog, "loginButton")->isEnabled());
            QCOMPARE(origin.requests().size(), 0);
        }
    }

    void busyIgnoresFurtherAttempts()
    {
        ApiClient api;
        LoginDialog dialog(&api);
        dialog.show();
        fillLogin(&dialog, QStringLiteral("anna"), QStringLiteral("pw"));
        ModalAnswerer answerer;
        origin.setHolding(true);
        auto *usernameEdit = child<QLineEdit>(&dialog, "usernameEdit");
        auto *loginButton = child<QPushButton>(&dialog, "loginButton");

        QTest::keyClick(usernameEdit, Qt::Key_Return);
        QTRY_COMPARE(origin.heldCount(), 1);
        QVERIFY(!loginButton->isEnabled());
        QVERIFY(!usernameEdit->isEnabled());
        QTest::keyClick(usernameEdit, Qt::Key_Return);
        QTest::keyClick(child<QLineEdit>(&dialog, "passwordEdit"), Qt::Key_Enter);
        loginButton->click();

        // The registration link stays usable; its hand-back must not start a
        // second login while the first is outstanding.
        origin.setHolding(false);
        origin.setHandler([](const RecordedRequest &r) {
            return r.path() == RegisterPath ? ScriptedResponse::json(201, "{}")
                                            : loginRefused("second");
        });
        answerer.push(submitRegistration);
        emit child<QLabel>(&dialog, "registerLink")->linkActivated(QStringLiteral("reg"));
        QCOMPARE(answerer.seenTexts(), QStringList({"", "Sikeres regisztráció."}));

        origin.respondToHeld(0, loginRefused("first"));
        QTRY_COMPARE(answerer.seen().size(), 3);
        QTRY_VERIFY(loginButton->isEnabled());
        // A further attempt now goes out; any stray one from above would have
        // been sent before it.
        loginButton->click();
        QTRY_COMPARE(answerer.seen().size(), 4);
        QCOMPARE(answerer.seenTexts().mid(2), QStringList({"first", "second"}));
        QCOMPARE(countPath(origin, LoginPath), 2);
        QCOMPARE(countPath(origin, RegisterPath), 1);
    }

    void failedLoginRetriesOnceAgainstOrigin_data()
    {
        QTest::addColumn<bool>("startAtOrigin");
        QTest::addColumn<bool>("originAccepts");

        QTest::newRow("base is the origin: shown at once") << true << false;
        QTest::newRow("other base: every attempt retries once, only its message") << false << false;
        QTest::newRow("other base: retry succeeds") << false << true;
    }

    void failedLoginRetriesOnceAgainstOrigin()
    {
        QFETCH(bool, startAtOrigin);
        QFETCH(bool, originAccepts);

        LoopbackServer other;
        other.answerAllWith(loginRefused("masik szerver"));
        const QString refusal = QStringLiteral("<b>Rossz</b> jelszó");
        origin.answerAllWith(originAccepts ? loginAccepted("t0k") : loginRefused(refusal.toUtf8()));
        const QString start = startAtOrigin ? origin.origin() : other.origin();
        ApiClient api;
        LoginDialog dialog(&api);
        dialog.show();
        fillLogin(&dialog, QStringLiteral(" anna\t"), QStringLiteral(" pw"));
        ModalAnswerer answerer;
        auto *loginButton = child<QPushButton>(&dialog, "loginButton");

        api.setBaseUrl(start);
        loginButton->click();

        const int attempts = originAccepts ? 1 : 2;
        if (originAccepts) {
            QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(dialog.username(), QStringLiteral("anna"));
            QCOMPARE(dialog.token(), QStringLiteral("t0k"));
            QCOMPARE(dialog.role(), QStringLiteral("editor"));
            QCOMPARE(dialog.keresztnev(), QStringLiteral("Anna"));
            api.fetchCompounds();
            QTRY_COMPARE(origin.requests().size(), 2);
            QCOMPARE(origin.requests().at(1).header("authorization"), QByteArray("Bearer t0k"));
        } else {
            QTRY_COMPARE(answerer.seen().size(), 1);
            QTRY_VERIFY(loginButton->isEnabled());
            QCOMPARE(answerer.seen().first().textFormat, Qt::PlainText);
            QCOMPARE(answerer.seen().first().title, QStringLiteral("Hiba"));
            QVERIFY(dialog.isVisible());
            QCOMPARE(child<QLineEdit>(&dialog, "usernameEdit")->text(), QStringLiteral(" anna\t"));
            QCOMPARE(child<QLineEdit>(&dialog, "passwordEdit")->text(), QStringLiteral(" pw"));
            QVERIFY(child<QLineEdit>(&dialog, "passwordEdit")->isEnabled());

            api.setBaseUrl(start);
            loginButton->click();
            QTRY_COMPARE(answerer.seen().size(), 2);
            QTRY_VERIFY(loginButton->isEnabled());
        }
        const QStringList warnings = originAccepts ? QStringList() : QStringList {refusal, refusal};
        QCOMPARE(answerer.seenTexts(), warnings);
        QCOMPARE(other.requests().size(), startAtOrigin ? 0 : attempts);
        QCOMPARE(countPath(origin, LoginPath), attempts);
        QCOMPARE(api.baseUrl(), DefaultServerOrigin);
        const QJsonObject retried = bodyOf(origin.requests().first());
        QCOMPARE(retried.value("felhasznalonev").toString(), QStringLiteral("anna"));
        QCOMPARE(retried.value("jelszo").toString(), QStringLiteral(" pw"));
    }

    void registrationSignsTheNewUserIn()
    {
        origin.setHandler([](const RecordedRequest &r) {
            return r.path() == RegisterPath ? ScriptedResponse::json(201, "{}") : loginAccepted();
        });
        ApiClient api;
        api.setBaseUrl(origin.origin());
        LoginDialog dialog(&api);
        dialog.show();
        auto *loginButton = child<QPushButton>(&dialog, "loginButton");
        ModalAnswerer answerer;
        QStringList events;

        answerer.push([&](QWidget *w) {
            auto *registration = qobject_cast<RegisterDialog *>(w);
            if (!registration)
                return false;
            connect(registration, &RegisterDialog::registered, this,
                [&] { events << QStringLiteral("registered"); });
            connect(registration, &QDialog::finished, this, [&](int result) {
                events << QStringLiteral("closed %1, login sent: %2")
                              .arg(result)
                              .arg(loginButton->isEnabled() ? "no" : "yes");
            });
            return submitRegistration(registration);
        });
        answerer.push([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box)
                return false;
            events << QStringLiteral("%1: %2, login requests: %3")
                          .arg(box->windowTitle(), box->text())
                          .arg(countPath(origin, LoginPath));
            box->button(QMessageBox::Ok)->click();
            return true;
        });

        emit child<QLabel>(&dialog, "registerLink")->linkActivated(QStringLiteral("reg"));
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));

        QCOMPARE(events,
            QStringList({"Siker: Sikeres regisztráció., login requests: 0", "registered",
                "closed 1, login sent: yes"}));
        QCOMPARE(child<QLineEdit>(&dialog, "usernameEdit")->text(), QStringLiteral("uj"));
        QCOMPARE(child<QLineEdit>(&dialog, "passwordEdit")->text(), QStringLiteral("titok"));
        QCOMPARE(child<QLineEdit>(&dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
        QCOMPARE(countPath(origin, LoginPath), 1);
        QCOMPARE(dialog.username(), QStringLiteral("uj"));
        QVERIFY(dialog.findChildren<RegisterDialog *>().isEmpty());
    }

    void registration_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("sent");

        const QStringList full {"uj", "Kiss", "Anna", "titok", "a@b.hu"};
        for (int i = 0; i < 5; ++i) {
            QStringList blank = full;
            blank[i] = i == 3 ? QString() : QStringLiteral("  ");
            QTest::addRow("field %d blank", i) << blank << QStringList();
        }
        QTest::newRow("blanks around every value") << QStringList {" uj ", "\tKiss ", " Anna",
            "  ti tok ", " a@b.hu "} << QStringList {"uj", "Kiss", "Anna", "  ti tok ", "a@b.hu"};
        QStringList spacesPassword = full;
        spacesPassword[3] = QStringLiteral("   ");
        QTest::newRow("password of spaces counts") << spacesPassword << spacesPassword;
    }

    void registration()
    {
        QFETCH(QStringList, values);
        QFETCH(QStringList, sent);

        origin.setHolding(true);
        ApiClient api;
        api.setBaseUrl(origin.origin());
        RegisterDialog dialog(&api);
        dialog.show();
        ModalAnswerer answerer;
        fillRegistration(&dialog, values);
        auto *button = child<QPushButton>(&dialog, "registerButton");

        QTest::keyClick(child<QLineEdit>(&dialog, "emailEdit"), Qt::Key_Return);

        if (sent.isEmpty()) {
            QCOMPARE(answerer.seen().size(), 1);
            QCOMPARE(answerer.seen().first().title, QStringLiteral("Hiba"));
            QCOMPARE(
                answerer.seen().first().text, QStringLiteral("Minden mező kitöltése kötelező."));
            QVERIFY(button->isEnabled());
            QCOMPARE(origin.requests().size(), 0);
            return;
        }
        QTRY_COMPARE(origin.heldCount(), 1);
        QVERIFY(!button->isEnabled());
        button->click();
        const QJsonObject body = bodyOf(origin.requests().first());
        const char *keys[] = {"felhasznalonev", "vezeteknev", "keresztnev", "jelszo", "email"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(body.value(QLatin1String(keys[i])).toString(), sent.at(i));

        // Refused: the message shows as plain text, every value stays.
        origin.respondToHeld(0, ScriptedResponse::json(409, R"({"detail":"<i>foglalt</i>"})"));
        QTRY_COMPARE(answerer.seen().size(), 1);
        QTRY_VERIFY(button->isEnabled());
        QCOMPARE(answerer.seen().first().title, QStringLiteral("Hiba"));
        QCOMPARE(answerer.seen().first().text,
            QStringLiteral("Regisztráció sikertelen. HTTP=409\n{\"detail\":\"<i>foglalt</i>\"}"));
        QCOMPARE(answerer.seen().first().textFormat, Qt::PlainText);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(child<QLineEdit>(&dialog, RegistrationFields[i])->text(), values.at(i));
        QVERIFY(dialog.isVisible());
        QCOMPARE(origin.requests().size(), 1);
    }

    void settingsResult_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("baseUrl");

        const int closed = QDialogButtonBox::NoButton;
        QTest::newRow("blanks around, slash kept")
            << " \thttps://lab.example:9443/ " << int(QDialogButtonBox::Ok)
            << "https://lab.example:9443/";
        QTest::newRow("blanks only") << "   " << int(QDialogButtonBox::Ok) << "";
        QTest::newRow("Cancel") << "https://new" << int(QDialogButtonBox::Cancel) << QString();
        QTest::newRow("window closed") << "https://new" << closed << QString();
    }

    void settingsResult()
    {
        QFETCH(QString, typed);
        QFETCH(int, button);
        QFETCH(QString, baseUrl);

        SettingsDialog dialog(QStringLiteral(" https://old.example "));
        auto *edit = child<QLineEdit>(&dialog, "baseUrlEdit");
        QCOMPARE(edit->text(), QStringLiteral(" https://old.example "));
        ModalAnswerer answerer;
        answerer.push([&](QWidget *w) {
            if (w != &dialog)
                return false;
            edit->setText(typed);
            if (button == QDialogButtonBox::NoButton)
                dialog.close();
            else
                dialog.findChild<QDialogButtonBox *>()
                    ->button(QDialogButtonBox::StandardButton(button))
                    ->click();
            return true;
        });

        const bool accepted = button == QDialogButtonBox::Ok;
        QCOMPARE(dialog.exec(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
        if (accepted)
            QCOMPARE(dialog.baseUrl(), baseUrl);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Beállítások"));
        QVERIFY(dialog.findChild<QLabel *>()->text().contains(DefaultServerOrigin));
    }

private:
    LoopbackServer origin;
};

QTEST_MAIN(TestLoginDialogs)
#include "tst_logindialogs.moc"
