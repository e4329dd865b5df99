#pragma once

#include <QString>

// The rich-text form of a chemical formula: the plain text is escaped first,
// then every decimal digit (one UTF-16 code unit) is set as a subscript, so
// "H2SO4" reads "H<sub>2</sub>SO<sub>4</sub>".
QString formulaToHtml(const QString &formula);
