#pragma once

#include "server/routes/serveroptions.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

// The program's command line: a mode with its arguments, and the options,
// whose files lie in the data folder unless given.
class CommandLine {
public:
    CommandLine();

    // Parses the application's arguments; for --help or a malformed command
    // line it prints what to do and ends the program.
    void process(const QCoreApplication &app);

    // Empty to serve, else "publish", "keygen", "add-user" or "backup".
    QString mode() const;
    // The positional arguments after the mode.
    QStringList arguments() const;
    bool isSet(const QString &option) const;
    // Empty, never null, when not given: it may be stored as it is.
    QString value(const QString &option) const;
    // A path option as given, or its default place in the data folder.
    QString path(const QString &option, const QString &inDataDir) const;
    // A whole number option from min to max, fallback when not given;
    // nullopt with *problem for any other value.
    std::optional<qint64> number(
        const QString &option, qint64 min, qint64 max, qint64 fallback, QString *problem) const;
    // How to serve; nullopt with *problem when an option does not fit.
    std::optional<ServerOptions> serverOptions(QString *problem) const;

private:
    std::optional<QList<QHostAddress>> listenAddresses(bool plainHttp, QString *problem) const;

    QCommandLineParser parser;
};
