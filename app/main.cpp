#include "api/recordtypes.h"
#include "app/appcontroller.h"
#include "app/trustedca.h"
#include "update/startupgate.h"
#include "update/updatechecker.h"

#include <QApplication>
#include <QIcon>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral("assets/orvantisicon.ico")));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationVersion(QStringLiteral("0.1.6"));
    registerRecordTypes();
    trustBundledCertificateAuthority();

    auto *checker = new UpdateChecker(&app);
    // No window appears before the check has answered that no newer release exists.
    std::unique_ptr<AppController> controller;
    connectStartupGate(checker, [&controller] { controller = std::make_unique<AppController>(); });
    checker->checkForUpdates();

    const int result = QApplication::exec();
    controller.reset();
    return result;
}
