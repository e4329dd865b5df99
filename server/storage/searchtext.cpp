#include "server/storage/searchtext.h"

QString SearchText::fold(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C).toCaseFolded();
}

QString SearchText::foldFields(const QStringList &fields)
{
    QStringList folded;
    folded.reserve(fields.size());
    for (const QString &field : fields)
        folded.append(fold(field));
    return folded.join(QChar(0x1F));
}
