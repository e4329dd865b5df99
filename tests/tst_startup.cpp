// The client's own main(), built for an origin on loopback, in one of two runs:
// "update": a newer release whose installer cannot be started; the
//   update-error box waits for the user's OK, although the last window closed
//   before it showed;
// "signin": no newer release; a user signs in and out, and closing the login
//   dialog, the last window, ends the program.
// The run ends with exit code 0, having shown exactly its windows.
#include "tests/uifixture.h"
#include "tests/visibletoplevels.h"
#include "ui/mainwindow.h"

#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int orvantisClientMain(int argc, char *argv[]);

namespace {

QStringList seen; // the windows of the current run, in order

// Presses OK in message boxes, once the events pending when they showed have
// run: a box that is gone by then closed without its user.
bool okBox(QWidget *w)
{
    if (!qobject_cast<QMessageBox *>(w))
        return false;
    QCoreApplication::sendPostedEvents();
    if (w->isVisible())
        seen << w->windowTitle();
    return !w->isVisible() || ModalAnswerer::accept()(w);
}

const struct {
    const char *name, *manifest;
    QList<ModalAnswerer::Answer> answers;
    QStringList windows;
} Runs[]
    = {{"update", R"({"version":"99.0","download_url":"x.exe"})",
           {ModalAnswerer::pressButton("Frissítés")}, {"Kötelező frissítés", "Frissítés hiba"}},
        {"signin", R"({"version":"0.0.1"})",
            {signIn("anna"), ModalAnswerer::fill<QDialog>(&QDialog::close)},
            {"Bejelentkezés", "Orvantis - anna (user)", "Bejelentkezés"}}};
int current = 0;

// Runs as soon as main() has made the application object, which then owns it all.
void scriptTheRun()
{
    const auto &run = Runs[current];
    auto *server = new LoopbackServer(qApp, ORVANTIS_STARTUP_PORT);
    server->setHandler([&run](const RecordedRequest &r) {
        return ScriptedResponse::json(200,
            r.path() == "/releases/latest.json" ? run.manifest
                : r.path().endsWith("/login")   ? R"({"access_token":"t","szerepkor":"user"})"
                : r.path().endsWith(".exe")     ? "not a program"
                                                : "[]");
    });
    auto *modals = new ModalAnswerer(qApp);
    modals->setDefault(okBox);
    for (const ModalAnswerer::Answer &answer : run.answers)
        modals->push([answer](QWidget *w) {
            const QString title = w->windowTitle();
            if (!answer(w))
                return false;
            seen << title;
            // What closing the dialog posted runs before its caller goes on.
            QCoreApplication::sendPostedEvents();
            return true;
        });
    auto *watch = new QTimer(qApp);
    QObject::connect(watch, &QTimer::timeout, [] {
        if (MainWindow *window = visibleTopLevels<MainWindow>().value(0)) {
            seen << window->windowTitle();
            window->findChild<QPushButton *>("logoutButton")->click();
        }
    });
    watch->start(5);
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(1); }); // never ends
}
Q_COREAPP_STARTUP_FUNCTION(scriptTheRun)

} // namespace

int main(int argc, char *argv[])
{
    while (current < int(std::size(Runs)) && qstrcmp(argv[argc - 1], Runs[current].name) != 0)
        ++current;
    if (argc != 2 || current == int(std::size(Runs)))
        return 2;
    QTemporaryDir home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("TMPDIR", QFile::encodeName(home.path()));
    const int code = orvantisClientMain(1, argv);
    std::printf("exit code %d, windows: %s\n", code, qPrintable(seen.join(" | ")));
    return code == 0 && seen == Runs[current].windows ? 0 : 1;
}
