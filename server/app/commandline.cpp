#include "server/app/commandline.h"

#include <QCoreApplication>
#include <QDir>

namespace {

const qint64 TenYears = 10LL * 365 * 24 * 3600;

QCommandLineOption option(const char *name, const char *description, const char *valueName = "")
{
    return QCommandLineOption(
        QLatin1String(name), QLatin1String(description), QLatin1String(valueName));
}

} // namespace

CommandLine::CommandLine()
{
    parser.setApplicationDescription(QStringLiteral(
        "Compound and release server for the Orvantis client.\n"
        "Without a mode it serves; \"publish\" writes a release folder's latest.json;\n"
        "\"keygen\" writes a release signing key pair; \"add-user NAME\" adds an account\n"
        "with the password read from standard input; \"backup\" copies the database,\n"
        "also while the server runs."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("mode"),
        QStringLiteral("empty, \"publish\", \"keygen\", \"add-user NAME\" or \"backup\""));
    parser.addOptions({
        option("data-dir",
            "Folder of the database, images, certificates and releases (default: data).", "dir"),
        option("db", "Database file (default: <data-dir>/orvantis.db).", "path"),
        option("images", "Image folder (default: <data-dir>/images).", "dir"),
        option("releases", "Release folder served under /releases/ (default: <data-dir>/releases).",
            "dir"),
        option("cert",
            "TLS certificate chain, PEM (default: <data-dir>/certs/server.pem); publish checks "
            "that the installer's client trusts it.",
            "path"),
        option("key", "TLS private key, PEM (default: <data-dir>/certs/server.key).", "path"),
        option("listen",
            "Listen on this IPv4 or IPv6 address; repeatable (default: 127.0.0.1 and ::1).",
            "address"),
        option("port", "Port to listen on; 0 picks a free one (default: 8443).", "port"),
        option("http", "Serve plain HTTP, on loopback addresses only (for tests)."),
        option("public-origin",
            "Origin clients reach the server at, of image URLs and of the client a release "
            "installs (default: the first address listened on; for the loopback default "
            "https://localhost:<port>).",
            "origin"),
        option("seed-demo",
            "Fill an empty database with demo compounds and accounts with published "
            "passwords; for a demo only."),
        option("seed-generated", "Add <n> generated compounds (load tests).", "n"),
        option("token-seconds", "Lifetime of a sign-in token (default: 28800).", "seconds"),
        option("reauth-seconds", "How long an admin re-authentication lasts (default: 600).",
            "seconds"),
        option("idle-seconds", "Close a connection silent this long (default: 60).", "seconds"),
        option("request-seconds",
            "Answer 408 and close when a request line and its headers take longer than this "
            "from their first byte, or its body pauses longer (default: 10).",
            "seconds"),
        option("hash-threads",
            "Password hashing jobs run at once, 1 to 64 (default: the hardware threads).", "n"),
        option("quiet", "Do not log each request."),
        option("version", "publish: the release version.", "version"),
        option("notes", "publish: the release notes.", "text"),
        option(
            "signing-key", "publish: sign the release with this secret key (from keygen).", "path"),
        option("installer", "publish: the installer file.", "path"),
        option("withdraw",
            "publish: a version not newer than the current one, to point the clients below it "
            "back at an older build; a newer release replaces it."),
        option("out", "keygen: folder for the key pair; backup: the new backup file.", "path"),
        option("role", "add-user: admin, editor or user.", "role"),
        option("email", "add-user: the account's e-mail address.", "address"),
    });
}

void CommandLine::process(const QCoreApplication &app)
{
    parser.process(app);
}

QString CommandLine::mode() const
{
    return parser.positionalArguments().value(0);
}

QStringList CommandLine::arguments() const
{
    return parser.positionalArguments().mid(1);
}

bool CommandLine::isSet(const QString &option) const
{
    return parser.isSet(option);
}

QString CommandLine::value(const QString &option) const
{
    const QString value = parser.value(option);
    return value.isNull() ? QStringLiteral("") : value;
}

QString CommandLine::path(const QString &option, const QString &inDataDir) const
{
    if (parser.isSet(option))
        return parser.value(option);
    const QString dataDir = parser.isSet(QStringLiteral("data-dir"))
        ? parser.value(QStringLiteral("data-dir"))
        : QStringLiteral("data");
    return QDir(dataDir).filePath(inDataDir);
}

std::optional<qint64> CommandLine::number(
    const QString &option, qint64 min, qint64 max, qint64 fallback, QString *problem) const
{
    if (!parser.isSet(option))
        return fallback;
    bool ok = false;
    const qint64 number = parser.value(option).toLongLong(&ok);
    if (ok && number >= min && number <= max)
        return number;
    *problem
        = QStringLiteral("--%1 needs a whole number from %2 to %3").arg(option).arg(min).arg(max);
    return std::nullopt;
}

std::optional<QList<QHostAddress>> CommandLine::listenAddresses(
    bool plainHttp, QString *problem) const
{
    QList<QHostAddress> addresses;
    for (const QString &text : parser.values(QStringLiteral("listen"))) {
        const QHostAddress address(text);
        if (address.isNull()) {
            *problem = QStringLiteral("--listen needs an IPv4 or IPv6 address, not %1").arg(text);
            return std::nullopt;
        }
        if (plainHttp && !address.isLoopback()) {
            *problem = QStringLiteral("plain HTTP (--http) is served on loopback addresses only, "
                                      "not on %1: serve HTTPS there")
                           .arg(text);
            return std::nullopt;
        }
        addresses.append(address);
    }
    return addresses;
}

std::optional<ServerOptions> CommandLine::serverOptions(QString *problem) const
{
    ServerOptions options;
    options.databasePath = path(QStringLiteral("db"), QStringLiteral("orvantis.db"));
    options.imagesDir = path(QStringLiteral("images"), QStringLiteral("images"));
    options.releasesDir = path(QStringLiteral("releases"), QStringLiteral("releases"));
    options.certificatePath = path(QStringLiteral("cert"), QStringLiteral("certs/server.pem"));
    options.keyPath = path(QStringLiteral("key"), QStringLiteral("certs/server.key"));
    options.plainHttp = parser.isSet(QStringLiteral("http"));
    options.publicOrigin = parser.value(QStringLiteral("public-origin"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    const auto listen = listenAddresses(options.plainHttp, problem);
    const auto port = number(QStringLiteral("port"), 0, 65535, options.port, problem);
    const auto token
        = number(QStringLiteral("token-seconds"), 0, TenYears, options.tokenSeconds, problem);
    const auto reauth
        = number(QStringLiteral("reauth-seconds"), 0, TenYears, options.reauthSeconds, problem);
    const auto idle
        = number(QStringLiteral("idle-seconds"), 1, 86400, options.idleSeconds, problem);
    const auto request
        = number(QStringLiteral("request-seconds"), 1, 3600, options.requestSeconds, problem);
    const auto threads
        = number(QStringLiteral("hash-threads"), 1, 64, options.hashThreads, problem);
    if (!listen || !port || !token || !reauth || !idle || !request || !threads)
        return std::nullopt;
    options.listenAddresses = *listen;
    options.port = quint16(*port);
    options.tokenSeconds = *token;
    options.reauthSeconds = *reauth;
    options.idleSeconds = int(*idle);
    options.requestSeconds = int(*request);
    options.hashThreads = int(*threads);
    return options;
}
