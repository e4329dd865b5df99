#include "api/recordtypes.h"
#include "app/appcontroller.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral("assets/orvantisicon.ico")));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationVersion(QStringLiteral("0.1.6"));
    registerRecordTypes();

    AppController controller;
    return QApplication::exec();
}
