#include "ui/settingsdialog.h"

#include "api/serverorigin.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(const QString &currentBaseUrl, QWidget *parent)
    : QDialog(parent)
    , baseUrlEdit(new QLineEdit(currentBaseUrl, this))
{
    setWindowTitle(QStringLiteral("Beállítások"));
    resize(380, 150);

    auto *layout = new QVBoxLayout(this);

    auto *hint
        = new QLabel(QStringLiteral("API szerver címe (példa: %1)").arg(DefaultServerOrigin), this);
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    layout->addWidget(hint);

    baseUrlEdit->setObjectName(QStringLiteral("baseUrlEdit"));
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("API Base URL:"), baseUrlEdit);
    layout->addLayout(form);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString SettingsDialog::baseUrl() const
{
    return baseUrlEdit->text().trimmed();
}
