#include "update/updateprompts.h"

#include "update/updatechecker.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

#include <limits>

void showMandatoryUpdatePrompt(UpdateChecker *checker, const QString &version, const QString &notes,
    const QString &url, const QString &sha256, const QString &unfinished)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Kötelező frissítés"));
    QString text
        = QStringLiteral("Új verzió elérhető: %1\n\nA program használatához frissítened kell.")
              .arg(version);
    if (!unfinished.isEmpty())
        text.prepend(
            QStringLiteral("Az előző frissítés (%1) nem fejeződött be.\n\n").arg(unfinished));
    box.setText(text);
    box.setInformativeText(notes);
    box.setTextFormat(Qt::PlainText);
    // The box applies the format to its main text only, and the notes come
    // from the server: they must not be read as markup either.
    if (!notes.isEmpty()) {
        for (QLabel *label : box.findChildren<QLabel *>()) {
            if (label->text() == notes)
                label->setTextFormat(Qt::PlainText);
        }
    }
    QPushButton *update = box.addButton(QStringLiteral("Frissítés"), QMessageBox::AcceptRole);
    box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
        & ~Qt::WindowCloseButtonHint);
    box.exec();

    if (box.clickedButton() != update) {
        QCoreApplication::quit();
        return;
    }
    startDownloadWithProgress(checker, url, sha256);
}

QProgressDialog *startDownloadWithProgress(
    UpdateChecker *checker, const QString &url, const QString &sha256)
{
    auto *progress = new QProgressDialog;
    progress->setLabelText(QStringLiteral("Frissítés letöltése..."));
    progress->setRange(0, 100);
    progress->setCancelButtonText(QString());
    progress->setCancelButton(nullptr);
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setMinimumDuration(0);
    // The body is complete before its digest is checked and the installer
    // started: the dialog stays up at 100 until one of the two outcomes.
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setValue(0);
    progress->show();

    QObject::connect(checker, &UpdateChecker::downloadProgress, progress,
        [progress](qint64 received, qint64 total) {
            progress->setValue(downloadPercent(received, total));
        });
    const auto dismiss = [progress] {
        progress->close();
        progress->deleteLater();
    };
    QObject::connect(checker, &UpdateChecker::downloadFinished, progress, dismiss);
    // Connected after the error prompt, so that the prompt shows over the dialog.
    QObject::connect(checker, &UpdateChecker::error, progress, dismiss);

    checker->startDownload(url, sha256, QString());
    return progress;
}

void showUpdateErrorPrompt(const QString &msg)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Frissítés hiba"),
        QStringLiteral("Nem sikerült ellenőrizni a kötelező frissítést.\n\n") + msg
            + QStringLiteral("\n\nA program most kilép."),
        QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    QCoreApplication::quit();
}

int downloadPercent(qint64 bytesReceived, qint64 bytesTotal)
{
    if (bytesTotal <= 0)
        return 0;
    const qint64 percent = bytesReceived * 100 / bytesTotal;
    constexpr qint64 lowest = std::numeric_limits<int>::min();
    constexpr qint64 highest = std::numeric_limits<int>::max();
    return static_cast<int>(qBound(lowest, percent, highest));
}
