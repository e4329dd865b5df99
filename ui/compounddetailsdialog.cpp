#include "ui/compounddetailsdialog.h"

#include "api/apiclient.h"
#include "ui/formulamarkup.h"
#include "ui/messagebox.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

namespace {

QLabel *valueLabel(const QString &text, Qt::TextFormat format, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(format);
    label->setText(text);
    return label;
}

QTextEdit *multiLineEdit(const QString &placeholder, const QString &name, QWidget *parent)
{
    auto *edit = new QTextEdit(parent);
    edit->setObjectName(name);
    edit->setAcceptRichText(false);
    edit->setPlaceholderText(placeholder);
    return edit;
}

QString imageItemText(const CompoundImage &image)
{
    if (image.caption.isEmpty())
        return image.url;
    return image.caption + QStringLiteral(" — ") + image.url;
}

// Image links come from the server: only web pages are handed to the desktop,
// never local files or the handlers of other schemes.
bool isWebUrl(const QUrl &url)
{
    return url.isValid()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

CompoundDetailsDialog::CompoundDetailsDialog(
    ApiClient *api, const Compound &compound, const QString &role, QWidget *parent)
    : QDialog(parent)
    , api(api)
    , compound(compound)
    , role(role)
    , canEdit(role == QLatin1String("admin") || role == QLatin1String("editor"))
{
    setWindowTitle(QStringLiteral("Vegyület részletek"));
    resize(700, 700);

    saveButton = new QPushButton(QStringLiteral("Mentés"), this);
    saveButton->setObjectName(QStringLiteral("saveButton"));
    closeButton = new QPushButton(QStringLiteral("Bezárás"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(saveButton);
    buttonRow->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildBaseData());
    layout->addWidget(buildDetails());
    layout->addWidget(buildImages());
    layout->addLayout(buttonRow);

    saveButton->setVisible(canEdit);
    setEditable(canEdit);

    connectApi();
    connect(imageList, &QListWidget::itemDoubleClicked, this, &CompoundDetailsDialog::openImage);
    connect(saveButton, &QPushButton::clicked, this, &CompoundDetailsDialog::save);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    api->fetchCompoundDetails(compound.kod);
}

QWidget *CompoundDetailsDialog::buildBaseData()
{
    auto *box = new QGroupBox(QStringLiteral("Alapadatok"), this);
    auto *form = new QFormLayout(box);
    form->addRow(QStringLiteral("Kód:"), valueLabel(compound.kod, Qt::PlainText, box));
    form->addRow(QStringLiteral("Név:"), valueLabel(compound.nev, Qt::PlainText, box));
    QLabel *formula = valueLabel(formulaToHtml(compound.keplet), Qt::RichText, box);
    formula->setObjectName(QStringLiteral("formulaLabel"));
    form->addRow(QStringLiteral("Képlet:"), formula);
    form->addRow(
        QStringLiteral("Moláris tömeg:"), valueLabel(compound.molaris_tomeg, Qt::PlainText, box));
    form->addRow(QStringLiteral("Szín:"), valueLabel(compound.szin, Qt::PlainText, box));
    form->addRow(
        QStringLiteral("Halmazállapot:"), valueLabel(compound.halmazallapot, Qt::PlainText, box));
    return box;
}

QWidget *CompoundDetailsDialog::buildDetails()
{
    auto *box = new QGroupBox(QStringLiteral("Részletek"), this);
    auto *form = new QFormLayout(box);
    descriptionEdit
        = multiLineEdit(QStringLiteral("Leírás..."), QStringLiteral("descriptionEdit"), box);
    form->addRow(QStringLiteral("Leírás:"), descriptionEdit);
    casEdit = addLineRow(form, QStringLiteral("CAS:"), QStringLiteral("casEdit"));
    msdsUrlEdit = addLineRow(form, QStringLiteral("MSDS URL:"), QStringLiteral("msdsUrlEdit"));
    ghsEdit = addLineRow(form, QStringLiteral("GHS:"), QStringLiteral("ghsEdit"));
    storageEdit = addLineRow(form, QStringLiteral("Tárolás:"), QStringLiteral("storageEdit"));
    densityEdit = addLineRow(form, QStringLiteral("Sűrűség:"), QStringLiteral("densityEdit"));
    meltingPointEdit
        = addLineRow(form, QStringLiteral("Olvadáspont:"), QStringLiteral("meltingPointEdit"));
    boilingPointEdit
        = addLineRow(form, QStringLiteral("Forráspont:"), QStringLiteral("boilingPointEdit"));
    solubilityEdit
        = addLineRow(form, QStringLiteral("Oldhatóság:"), QStringLiteral("solubilityEdit"));
    notesEdit = multiLineEdit(QStringLiteral("Megjegyzések..."), QStringLiteral("notesEdit"), box);
    form->addRow(QStringLiteral("Jegyzet:"), notesEdit);
    return box;
}

QLineEdit *CompoundDetailsDialog::addLineRow(
    QFormLayout *form, const QString &label, const QString &name)
{
    auto *edit = new QLineEdit(form->parentWidget());
    edit->setObjectName(name);
    // The toolkit's default limit would cut a longer stored value on save.
    edit->setMaxLength(std::numeric_limits<int>::max());
    form->addRow(label, edit);
    return edit;
}

QWidget *CompoundDetailsDialog::buildImages()
{
    auto *box = new QGroupBox(QStringLiteral("Képek"), this);
    auto *layout = new QVBoxLayout(box);
    imageList = new QListWidget(box);
    imageList->setObjectName(QStringLiteral("imageList"));
    layout->addWidget(imageList);
    return box;
}

void CompoundDetailsDialog::connectApi()
{
    connect(api, &ApiClient::compoundDetailsOk, this, &CompoundDetailsDialog::showDetails);
    connect(api, &ApiClient::compoundDetailsError, this,
        [this](const QString &message) { showWarning(this, QStringLiteral("Hiba"), message); });
    connect(api, &ApiClient::compoundDetailsWriteOk, this, [this] {
        showInformation(this, QStringLiteral("Siker"), QStringLiteral("Részletek mentve."));
        api->fetchCompoundDetails(compound.kod);
    });
    connect(api, &ApiClient::compoundDetailsWriteError, this, [this](const QString &message) {
        showWarning(this, QStringLiteral("Hiba"), message);
        saveButton->setEnabled(true);
    });
}

void CompoundDetailsDialog::setEditable(bool editable)
{
    descriptionEdit->setReadOnly(!editable);
    notesEdit->setReadOnly(!editable);
    for (QLineEdit *edit : {casEdit, msdsUrlEdit, ghsEdit, storageEdit, densityEdit,
             meltingPointEdit, boilingPointEdit, solubilityEdit})
        edit->setReadOnly(!editable);
}

CompoundDetails CompoundDetailsDialog::collectDetails() const
{
    CompoundDetails d;
    d.kod = compound.kod;
    d.description = descriptionEdit->toPlainText().trimmed();
    d.cas = casEdit->text().trimmed();
    d.msds_url = msdsUrlEdit->text().trimmed();
    d.ghs = ghsEdit->text().trimmed();
    d.storage = storageEdit->text().trimmed();
    d.density = densityEdit->text().trimmed();
    d.melting_point = meltingPointEdit->text().trimmed();
    d.boiling_point = boilingPointEdit->text().trimmed();
    d.solubility = solubilityEdit->text().trimmed();
    d.notes = notesEdit->toPlainText().trimmed();
    return d;
}

void CompoundDetailsDialog::showDetails(const CompoundDetails &details)
{
    descriptionEdit->setPlainText(details.description);
    casEdit->setText(details.cas);
    msdsUrlEdit->setText(details.msds_url);
    ghsEdit->setText(details.ghs);
    storageEdit->setText(details.storage);
    densityEdit->setText(details.density);
    meltingPointEdit->setText(details.melting_point);
    boilingPointEdit->setText(details.boiling_point);
    solubilityEdit->setText(details.solubility);
    notesEdit->setPlainText(details.notes);

    imageList->clear();
    for (const CompoundImage &image : details.images) {
        auto *item = new QListWidgetItem(imageItemText(image), imageList);
        item->setData(Qt::UserRole, image.url);
    }
}

void CompoundDetailsDialog::save()
{
    saveButton->setEnabled(false);
    api->saveCompoundDetails(compound.kod, collectDetails());
}

void CompoundDetailsDialog::openImage(QListWidgetItem *item)
{
    const QString text = item->data(Qt::UserRole).toString();
    if (text.isEmpty())
        return;
    const QUrl url(text, QUrl::TolerantMode);
    if (isWebUrl(url))
        QDesktopServices::openUrl(url);
}
