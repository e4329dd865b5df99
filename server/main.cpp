#include "server/compoundserver.h"
#include "server/database.h"
#include "server/demoseed.h"
#include "server/passwordhasher.h"
#include "server/releasepublisher.h"
#include "server/releasesigner.h"
#include "server/serveroptions.h"
#include "server/shutdownsignal.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "orvantis-server: " << message << '\n';
    return 1;
}

// A path option as given, or its default place in the data folder.
QString pathOption(const QCommandLineParser &parser, const QString &dataDir, const QString &name,
    const QString &inDataDir)
{
    return parser.isSet(name) ? parser.value(name) : QDir(dataDir).filePath(inDataDir);
}

int keygen(const QCommandLineParser &parser)
{
    const QString dir = parser.value(QStringLiteral("out"));
    if (dir.isEmpty())
        return fail(QStringLiteral("keygen needs --out <dir>"));
    const QString problem = ReleaseSigner::generateKeyPair(dir);
    if (!problem.isEmpty())
        return fail(problem);
    QTextStream(stdout) << "release signing key pair written to " << QDir(dir).absolutePath()
                        << " (keep " << ReleaseSigner::SecretKeyName << " secret)\n";
    return 0;
}

int publish(const QCommandLineParser &parser, const QString &dataDir)
{
    const QString releasesDir
        = pathOption(parser, dataDir, QStringLiteral("releases"), QStringLiteral("releases"));
    const QString problem = ReleasePublisher::publish(releasesDir,
        parser.value(QStringLiteral("version")), parser.value(QStringLiteral("notes")),
        parser.value(QStringLiteral("installer")), parser.value(QStringLiteral("signing-key")));
    if (!problem.isEmpty())
        return fail(problem);
    QTextStream(stdout) << "published " << parser.value(QStringLiteral("version")) << " in "
                        << QDir(releasesDir).absoluteFilePath(QStringLiteral("latest.json"))
                        << '\n';
    return 0;
}

bool readSeconds(const QCommandLineParser &parser, const QString &name, qint64 *seconds)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *seconds = parser.value(name).toLongLong(&ok);
    return ok && *seconds >= 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvantis-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Compound and release server for the Orvantis client.\n"
        "Without a mode it serves; \"publish\" writes a release folder's latest.json;\n"
        "\"keygen\" writes a release signing key pair."));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("mode"), QStringLiteral("empty, \"publish\" or \"keygen\""));
    parser.addOptions({
        {QStringLiteral("data-dir"),
            QStringLiteral(
                "Folder of the database, images, certificates and releases (default: data)."),
            QStringLiteral("dir"), QStringLiteral("data")},
        {QStringLiteral("db"), QStringLiteral("Database file (default: <data-dir>/orvantis.db)."),
            QStringLiteral("path")},
        {QStringLiteral("images"), QStringLiteral("Image folder (default: <data-dir>/images)."),
            QStringLiteral("dir")},
        {QStringLiteral("releases"),
            QStringLiteral(
                "Release folder served under /releases/ (default: <data-dir>/releases)."),
            QStringLiteral("dir")},
        {QStringLiteral("cert"),
            QStringLiteral("TLS certificate chain, PEM (default: <data-dir>/certs/server.pem)."),
            QStringLiteral("path")},
        {QStringLiteral("key"),
            QStringLiteral("TLS private key, PEM (default: <data-dir>/certs/server.key)."),
            QStringLiteral("path")},
        {QStringLiteral("port"),
            QStringLiteral("Port on 127.0.0.1 and ::1; 0 picks a free one (default: 8443)."),
            QStringLiteral("port"), QStringLiteral("8443")},
        {QStringLiteral("http"), QStringLiteral("Serve plain HTTP on loopback (for tests only).")},
        {QStringLiteral("public-origin"),
            QStringLiteral("Origin of image URLs (default: https://localhost:<port>)."),
            QStringLiteral("origin")},
        {QStringLiteral("seed-demo"),
            QStringLiteral("Fill an empty database with demo compounds and accounts.")},
        {QStringLiteral("seed-generated"),
            QStringLiteral("Add <n> generated compounds (load tests)."), QStringLiteral("n")},
        {QStringLiteral("token-seconds"),
            QStringLiteral("Lifetime of a sign-in token (default: 28800)."),
            QStringLiteral("seconds")},
        {QStringLiteral("reauth-seconds"),
            QStringLiteral("How long an admin re-authentication lasts (default: 600)."),
            QStringLiteral("seconds")},
        {QStringLiteral("idle-seconds"),
            QStringLiteral("Close a connection silent this long (default: 60)."),
            QStringLiteral("seconds")},
        {QStringLiteral("request-seconds"),
            QStringLiteral("Answer 408 and close when a request line and its headers take longer "
                           "than this from their first byte, or its body pauses longer "
                           "(default: 10)."),
            QStringLiteral("seconds")},
        {QStringLiteral("quiet"), QStringLiteral("Do not log each request.")},
        {QStringLiteral("version"), QStringLiteral("publish: the release version."),
            QStringLiteral("version")},
        {QStringLiteral("notes"), QStringLiteral("publish: the release notes."),
            QStringLiteral("text")},
        {QStringLiteral("signing-key"),
            QStringLiteral("publish: sign the release with this secret key (from keygen)."),
            QStringLiteral("path")},
        {QStringLiteral("out"), QStringLiteral("keygen: folder for the key pair."),
            QStringLiteral("dir")},
        {QStringLiteral("installer"), QStringLiteral("publish: the installer file."),
            QStringLiteral("path")},
    });
    parser.process(app);

    const QString dataDir = parser.value(QStringLiteral("data-dir"));
    const QStringList positional = parser.positionalArguments();
    if (positional == QStringList {QStringLiteral("publish")})
        return publish(parser, dataDir);
    if (positional == QStringList {QStringLiteral("keygen")})
        return keygen(parser);
    if (!positional.isEmpty())
        return fail(QStringLiteral("unknown mode %1").arg(positional.join(QLatin1Char(' '))));

    ServerOptions options;
    options.databasePath
        = pathOption(parser, dataDir, QStringLiteral("db"), QStringLiteral("orvantis.db"));
    options.imagesDir
        = pathOption(parser, dataDir, QStringLiteral("images"), QStringLiteral("images"));
    options.releasesDir
        = pathOption(parser, dataDir, QStringLiteral("releases"), QStringLiteral("releases"));
    options.certificatePath
        = pathOption(parser, dataDir, QStringLiteral("cert"), QStringLiteral("certs/server.pem"));
    options.keyPath
        = pathOption(parser, dataDir, QStringLiteral("key"), QStringLiteral("certs/server.key"));
    options.plainHttp = parser.isSet(QStringLiteral("http"));
    options.publicOrigin = parser.value(QStringLiteral("public-origin"));
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    bool portOk = false;
    const uint port = parser.value(QStringLiteral("port")).toUInt(&portOk);
    if (!portOk || port > 65535)
        return fail(QStringLiteral("--port needs a number from 0 to 65535"));
    options.port = quint16(port);
    if (!readSeconds(parser, QStringLiteral("token-seconds"), &options.tokenSeconds)
        || !readSeconds(parser, QStringLiteral("reauth-seconds"), &options.reauthSeconds))
        return fail(
            QStringLiteral("--token-seconds and --reauth-seconds need a whole number >= 0"));
    qint64 idleSeconds = options.idleSeconds;
    if (!readSeconds(parser, QStringLiteral("idle-seconds"), &idleSeconds) || idleSeconds < 1
        || idleSeconds > 86400)
        return fail(QStringLiteral("--idle-seconds needs a whole number from 1 to 86400"));
    options.idleSeconds = int(idleSeconds);
    qint64 requestSeconds = options.requestSeconds;
    if (!readSeconds(parser, QStringLiteral("request-seconds"), &requestSeconds)
        || requestSeconds < 1 || requestSeconds > 3600)
        return fail(QStringLiteral("--request-seconds needs a whole number from 1 to 3600"));
    options.requestSeconds = int(requestSeconds);

    if (!PasswordHasher::initialise())
        return fail(QStringLiteral("libsodium cannot be initialised"));
    Database database;
    if (!database.open(options.databasePath))
        return fail(
            QStringLiteral("cannot open %1: %2").arg(options.databasePath, database.errorText()));
    if (parser.isSet(QStringLiteral("seed-demo"))) {
        const QString problem = DemoSeed::fill(database, options.imagesDir);
        if (!problem.isEmpty())
            return fail(problem);
    }
    if (parser.isSet(QStringLiteral("seed-generated"))) {
        const QString problem = DemoSeed::addGenerated(
            database, parser.value(QStringLiteral("seed-generated")).toInt());
        if (!problem.isEmpty())
            return fail(problem);
    }

    CompoundServer server(database, options);
    QString reason;
    if (!server.start(&reason))
        return fail(reason);
    ShutdownSignal shutdown;
    QObject::connect(&shutdown, &ShutdownSignal::requested, &app, &QCoreApplication::quit);
    QTextStream(stdout) << "orvantis-server listening on "
                        << (options.plainHttp ? "http://127.0.0.1:" : "https://localhost:")
                        << server.port() << Qt::endl;
    return QCoreApplication::exec();
}
