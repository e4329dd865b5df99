#pragma once

#include <QString>

class QProgressDialog;
class UpdateChecker;

// The windows of the update gate. Apart from a started download, every path
// through them ends the program.

// Offers only the update: "Frissítés" starts the download with a progress
// dialog, any other way of closing the box quits. A non-empty `unfinished`
// names an earlier update whose installation did not finish.
void showMandatoryUpdatePrompt(UpdateChecker *checker, const QString &version, const QString &notes,
    const QString &url, const QString &sha256, const QString &unfinished = QString());

// Shows a progress dialog without a cancel button that follows the download
// and goes away when it ends either way, then starts the download.
QProgressDialog *startDownloadWithProgress(
    UpdateChecker *checker, const QString &url, const QString &sha256);

// Tells why the update could not be done, then quits.
void showUpdateErrorPrompt(const QString &msg);

// Percent done; 0 while the size is unknown. Not clamped to 100.
int downloadPercent(qint64 bytesReceived, qint64 bytesTotal);
