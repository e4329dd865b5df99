#include "ui/messagebox.h"

#include <QMessageBox>

namespace {

void showPlainBox(
    QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void showWarning(QWidget *parent, const QString &title, const QString &text)
{
    showPlainBox(parent, QMessageBox::Warning, title, text);
}

void showInformation(QWidget *parent, const QString &title, const QString &text)
{
    showPlainBox(parent, QMessageBox::Information, title, text);
}
