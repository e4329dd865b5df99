#include "server/app/commandline.h"
#include "server/app/modes.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvantis-server"));
    CommandLine commandLine;
    commandLine.process(app);
    return Modes::run(commandLine);
}
