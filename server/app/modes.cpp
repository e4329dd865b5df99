#include "server/app/modes.h"

#include "server/app/commandline.h"
#include "server/app/passwordprompt.h"
#include "server/app/shutdownsignal.h"
#include "server/releases/releasepublisher.h"
#include "server/releases/releasesigner.h"
#include "server/routes/compoundserver.h"
#include "server/routes/fieldrules.h"
#include "server/storage/database.h"
#include "server/storage/demoseed.h"
#include "server/storage/passwordhasher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "orvantis-server: " << message << '\n';
    return 1;
}

QString opened(Database &database, const QString &path)
{
    if (!PasswordHasher::initialise())
        return QStringLiteral("libsodium cannot be initialised");
    if (!database.open(path))
        return QStringLiteral("cannot open %1: %2").arg(path, database.errorText());
    return {};
}

// Demo data and generated compounds, as the command line asks.
QString seeded(Database &database, const CommandLine &commandLine, const QString &imagesDir)
{
    QString problem;
    if (commandLine.isSet(QStringLiteral("seed-demo")))
        problem = DemoSeed::fill(database, imagesDir);
    const std::optional<qint64> generated
        = commandLine.number(QStringLiteral("seed-generated"), 0, 1000000, 0, &problem);
    if (problem.isEmpty() && generated)
        problem = DemoSeed::addGenerated(database, int(*generated));
    return problem;
}

} // namespace

int Modes::run(const CommandLine &commandLine)
{
    static const QHash<QString, int (*)(const CommandLine &)> modes {{QString(), serve},
        {QStringLiteral("publish"), publish}, {QStringLiteral("keygen"), keygen},
        {QStringLiteral("add-user"), addUser}, {QStringLiteral("backup"), backup}};
    const QString mode = commandLine.mode();
    if (!modes.contains(mode))
        return fail(QStringLiteral("unknown mode %1").arg(mode));
    if (mode != QLatin1String("add-user") && !commandLine.arguments().isEmpty())
        return fail(
            QStringLiteral("unexpected %1").arg(commandLine.arguments().join(QLatin1Char(' '))));
    return modes.value(mode)(commandLine);
}

int Modes::serve(const CommandLine &commandLine)
{
    QString problem;
    const std::optional<ServerOptions> options = commandLine.serverOptions(&problem);
    if (!options)
        return fail(problem);
    Database database;
    problem = opened(database, options->databasePath);
    if (problem.isEmpty())
        problem = seeded(database, commandLine, options->imagesDir);
    if (!problem.isEmpty())
        return fail(problem);
    CompoundServer server(database, *options);
    if (!server.start(&problem))
        return fail(problem);
    ShutdownSignal shutdown;
    QObject::connect(&shutdown, &ShutdownSignal::requested, QCoreApplication::instance(),
        &QCoreApplication::quit);
    for (const QString &url : server.urls())
        QTextStream(stdout) << "orvantis-server listening on " << url << Qt::endl;
    return QCoreApplication::exec();
}

int Modes::publish(const CommandLine &commandLine)
{
    QString problem;
    const std::optional<ServerOptions> options = commandLine.serverOptions(&problem);
    if (!options)
        return fail(problem);
    if (options->port == 0 && options->publicOrigin.isEmpty())
        return fail(QStringLiteral("with --port 0 the port is chosen when serving: give "
                                   "--public-origin, where clients reach the server"));
    ReleasePublisher::Request request;
    request.releasesDir = options->releasesDir;
    request.version = commandLine.value(QStringLiteral("version"));
    request.notes = commandLine.value(QStringLiteral("notes"));
    request.installerPath = commandLine.value(QStringLiteral("installer"));
    request.signingKeyPath = commandLine.value(QStringLiteral("signing-key"));
    request.origin = options->clientOrigin(options->port);
    request.certificatePath = options->certificatePath;
    request.withdraw = commandLine.isSet(QStringLiteral("withdraw"));
    problem = ReleasePublisher::publish(request);
    if (!problem.isEmpty())
        return fail(problem + QStringLiteral("; nothing was published"));
    QTextStream(stdout) << "published " << request.version << " in "
                        << QDir(request.releasesDir).absoluteFilePath(QStringLiteral("latest.json"))
                        << '\n';
    return 0;
}

int Modes::keygen(const CommandLine &commandLine)
{
    const QString dir = commandLine.value(QStringLiteral("out"));
    if (dir.isEmpty())
        return fail(QStringLiteral("keygen needs --out <dir>"));
    const QString problem = ReleaseSigner::generateKeyPair(dir);
    if (!problem.isEmpty())
        return fail(problem);
    QTextStream(stdout) << "release signing key pair written to " << QDir(dir).absolutePath()
                        << " (keep " << ReleaseSigner::SecretKeyName << " secret)\n";
    return 0;
}

// Both names of the account start as its user name; an admin changes them
// in the client.
int Modes::addUser(const CommandLine &commandLine)
{
    if (commandLine.arguments().size() != 1)
        return fail(QStringLiteral("usage: add-user NAME --role admin|editor|user [--email E]"));
    UserRecord user;
    user.felhasznalonev = user.vezeteknev = user.keresztnev = commandLine.arguments().first();
    user.szerepkor = commandLine.value(QStringLiteral("role"));
    user.email = commandLine.value(QStringLiteral("email"));
    QString problem = FieldRules::account(user, false);
    std::optional<QString> password;
    if (problem.isEmpty() && (password = PasswordPrompt::read(&problem)))
        problem = FieldRules::password(*password);
    Database database;
    if (problem.isEmpty())
        problem = opened(
            database, commandLine.path(QStringLiteral("db"), QStringLiteral("orvantis.db")));
    if (!problem.isEmpty())
        return fail(problem);
    user.passwordHash = PasswordHasher::hash(*password);
    switch (
        user.passwordHash.isEmpty() ? Database::WriteResult::Failed : database.insertUser(user)) {
    case Database::WriteResult::Ok:
        QTextStream(stdout) << "added " << user.felhasznalonev << " as " << user.szerepkor << '\n';
        return 0;
    case Database::WriteResult::Duplicate:
        return fail(QStringLiteral("the user name %1 is taken").arg(user.felhasznalonev));
    default:
        return fail(QStringLiteral("cannot store the account: %1").arg(database.errorText()));
    }
}

int Modes::backup(const CommandLine &commandLine)
{
    const QString out = commandLine.value(QStringLiteral("out"));
    const QString path = commandLine.path(QStringLiteral("db"), QStringLiteral("orvantis.db"));
    if (out.isEmpty())
        return fail(QStringLiteral("backup needs --out <file>"));
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no database at %1").arg(path));
    Database database;
    QString problem = opened(database, path);
    if (problem.isEmpty())
        problem = database.backupTo(out);
    if (!problem.isEmpty())
        return fail(problem);
    QTextStream(stdout) << "backup of " << path << " written to " << out << '\n';
    return 0;
}
