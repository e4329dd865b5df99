// The yardstick of bench/startup.sh: a bare Qt dialog with the login
// dialog's title and its two fields, shown as soon as the application object
// exists. It runs until it is closed or killed.

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Bejelentkezés"));
    auto *layout = new QVBoxLayout(&dialog);
    for (const QString &placeholder :
        {QStringLiteral("Felhasználónév"), QStringLiteral("Jelszó")}) {
        auto *field = new QLineEdit(&dialog);
        field->setPlaceholderText(placeholder);
        layout->addWidget(field);
    }
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
