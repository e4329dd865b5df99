#pragma once

#include <QApplication>
#include <QList>
#include <QWidget>

// The shown top-level windows of type T, e.g. the main windows or progress
// dialogs that the code under test opened.
template<typename T> QList<T *> visibleTopLevels()
{
    QList<T *> found;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<T *>(w); window && window->isVisible())
            found.append(window);
    return found;
}
