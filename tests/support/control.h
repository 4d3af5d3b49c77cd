#pragma once

// A window's control found by its object name, as an operator finds it by its place and caption.

#include <QObject>
#include <QtGlobal>

template <class T> T* control(const QObject& window, const char* objectName)
{
    T* found = window.findChild<T*>(QLatin1String(objectName));
    if (!found)
        qFatal("No control named %s of that kind", objectName);
    return found;
}

template <class T> T* control(const QObject* window, const char* objectName)
{
    return control<T>(*window, objectName);
}
