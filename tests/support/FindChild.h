#pragma once
// Finds a window's control by its object name, as a test reaches the controls a window keeps to
// itself; a control that is not there ends the test run with its name.

#include <QObject>
#include <QString>

namespace TestSupport {

template <typename T> T* Child(const QObject* parent, const QString& name)
{
    T* child = parent->findChild<T*>(name);
    if (!child)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return child;
}

} // namespace TestSupport
