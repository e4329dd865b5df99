#include "ui/compoundeditdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <limits>

CompoundEditDialog::CompoundEditDialog(QWidget *parent)
    : QDialog(parent)
    , kodEdit(new QLineEdit(this))
    , nevEdit(new QLineEdit(this))
    , kepletEdit(new QLineEdit(this))
    , molarisTomegEdit(new QLineEdit(this))
    , szinEdit(new QLineEdit(this))
    , halmazallapotEdit(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Vegyület"));
    resize(420, 260);
    kodEdit->setObjectName(QStringLiteral("kodEdit"));
    nevEdit->setObjectName(QStringLiteral("nevEdit"));
    kepletEdit->setObjectName(QStringLiteral("kepletEdit"));
    molarisTomegEdit->setObjectName(QStringLiteral("molarisTomegEdit"));
    szinEdit->setObjectName(QStringLiteral("szinEdit"));
    halmazallapotEdit->setObjectName(QStringLiteral("halmazallapotEdit"));
    // No length limit: the toolkit's default would cut a longer stored value.
    for (QLineEdit *edit :
        {kodEdit, nevEdit, kepletEdit, molarisTomegEdit, szinEdit, halmazallapotEdit})
        edit->setMaxLength(std::numeric_limits<int>::max());

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Kód:"), kodEdit);
    form->addRow(QStringLiteral("Név:"), nevEdit);
    form->addRow(QStringLiteral("Képlet:"), kepletEdit);
    form->addRow(QStringLiteral("Moláris tömeg:"), molarisTomegEdit);
    form->addRow(QStringLiteral("Szín:"), szinEdit);
    form->addRow(QStringLiteral("Halmazállapot:"), halmazallapotEdit);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void CompoundEditDialog::setEditMode(bool on)
{
    kodEdit->setReadOnly(on);
}

void CompoundEditDialog::setCompound(const Compound &c)
{
    kodEdit->setText(c.kod);
    nevEdit->setText(c.nev);
    kepletEdit->setText(c.keplet);
    molarisTomegEdit->setText(c.molaris_tomeg);
    szinEdit->setText(c.szin);
    halmazallapotEdit->setText(c.halmazallapot);
}

Compound CompoundEditDialog::compound() const
{
    Compound c;
    c.kod = kodEdit->text().trimmed();
    c.nev = nevEdit->text().trimmed();
    c.keplet = kepletEdit->text().trimmed();
    c.molaris_tomeg = molarisTomegEdit->text().trimmed();
    c.szin = szinEdit->text().trimmed();
    c.halmazallapot = halmazallapotEdit->text().trimmed();
    return c;
}
