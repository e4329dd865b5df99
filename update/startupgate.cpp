#include "update/startupgate.h"

#include "update/updatechecker.h"
#include "update/updateprompts.h"

#include <QCoreApplication>

void connectStartupGate(UpdateChecker *checker, std::function<void()> begin)
{
    QCoreApplication *app = QCoreApplication::instance();
    const QString unfinished = unfinishedInstall();
    QObject::connect(checker, &UpdateChecker::updateAvailable, app,
        [checker, unfinished](const QString &version, const QString &notes, const QString &url,
            const QString &sha256) {
            showMandatoryUpdatePrompt(checker, version, notes, url, sha256, unfinished);
        });
    QObject::connect(checker, &UpdateChecker::error, app, &showUpdateErrorPrompt);
    // `begin` may run a modal dialog, inside which another answer could arrive:
    // it counts as begun before it is called.
    QObject::connect(
        checker, &UpdateChecker::noUpdate, checker,
        [begin = std::move(begin), begun = false]() mutable {
            if (begun)
                return;
            begun = true;
            begin();
        },
        Qt::DirectConnection);
}
