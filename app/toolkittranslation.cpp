#include "app/toolkittranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installToolkitTranslation(QCoreApplication *app)
{
    auto *translator = new QTranslator(app);
    const QLocale hungarian(QLocale::Hungarian, QLocale::Hungary);
    const QString folders[]
        = {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString &folder : folders) {
        if (translator->load(hungarian, QStringLiteral("qtbase"), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}
