#pragma once

#include <QSignalSpy>
#include <QString>
#include <QStringList>

class ApiClient;

// Starts one ApiClient operation chosen by name and records its pair of
// result signals. Operations that address a compound or an account take the
// identifier given to start(); every other argument is fixed.
class ApiCall {
public:
    ApiCall(ApiClient *api, const QString &operation);

    static QStringList operations();
    // The text a failure message of the operation begins with.
    static QString failureLabel(const QString &operation);

    void start(const QString &identifier = QStringLiteral("H2O"));
    int emissions() const;
    // The message of the first error emission.
    QString errorMessage() const;
    // The account named by the first emission of either signal, or empty
    // when the operation's signals carry none.
    QString signalledUsername() const;

    QSignalSpy ok;
    QSignalSpy error;

private:
    ApiClient *api;
    QString operation;
};
