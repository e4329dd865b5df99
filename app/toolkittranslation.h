#pragma once

class QCoreApplication;

// Loads the toolkit's Hungarian translation, so that its own buttons read
// "Mégse", "Igen", "Nem". It is looked for beside the program first (where
// the Windows package puts it), then where the toolkit keeps its
// translations. A missing file leaves them in English.
void installToolkitTranslation(QCoreApplication *app);
