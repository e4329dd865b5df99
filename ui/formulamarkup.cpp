#include "ui/formulamarkup.h"

namespace {

bool isDecimalDigit(QChar c)
{
    if (c.unicode() <= 127)
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    // A surrogate half has its own category, so a digit outside the Basic
    // Multilingual Plane is never split by tags.
    return c.category() == QChar::Number_DecimalDigit;
}

} // namespace

QString formulaToHtml(const QString &formula)
{
    QString html;
    html.reserve(formula.size() * 2);
    for (const QChar c : formula) {
        switch (c.unicode()) {
        case '&':
            html += QLatin1String("&amp;");
            break;
        case '<':
            html += QLatin1String("&lt;");
            break;
        case '>':
            html += QLatin1String("&gt;");
            break;
        case '"':
            html += QLatin1String("&quot;");
            break;
        default:
            if (isDecimalDigit(c)) {
                html += QLatin1String("<sub>");
                html += c;
                html += QLatin1String("</sub>");
            } else {
                html += c;
            }
        }
    }
    return html;
}
