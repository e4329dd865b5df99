#include "api/recordtypes.h"
#include "app/appcontroller.h"
#include "app/appversion.h"
#include "app/buildinfo.h"
#include "app/toolkittranslation.h"
#include "app/trustedca.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Answered before the application object exists: no display, no network.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s\n", ORVANTIS_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--build-info") == 0) {
        std::fputs(buildInfo(QStringLiteral(ORVANTIS_VERSION)).constData(), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orvantis/assets/orvantisicon.ico")));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationVersion(QStringLiteral(ORVANTIS_VERSION));
    installToolkitTranslation(&app);
    registerRecordTypes();

    // Trusted on the requests to the server only: every other connection
    // keeps the system's roots, loaded when one needs them.
    const QString authorities = bundledCertificateAuthorityFile();
    auto *checker = new UpdateChecker(&app);
    checker->setOriginAuthorities(authorities);
    // No window appears before the check has answered that no newer release exists.
    std::unique_ptr<AppController> controller;
    connectStartupGate(checker, [&controller, &authorities] {
        controller = std::make_unique<AppController>(DefaultServerOrigin, authorities);
    });
    checker->checkForUpdates();

    const int result = QApplication::exec();
    controller.reset();
    return result;
}
