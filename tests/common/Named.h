#pragma once
// Tests and benchmarks reach a window's controls as a screen reader does: by the name it
// reads out (the accessible name, else a button's caption or an edit's label). A control
// whose caption changes is found by its fixed object name instead.

#include <QAccessible>
#include <QCoreApplication>
#include <QObject>
#include <QString>

// The one control of type T under `root` that a screen reader calls `name`; the run ends when
// there is none or more than one.
template <typename T>
T* Named(const QObject& root, const QString& name)
{
    T* found = nullptr;
    for (T* c : root.findChildren<T*>()) {
        const QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        if (!a || a->text(QAccessible::Name) != name)
            continue;
        if (found)
            qFatal("two controls named %s", qPrintable(name));
        found = c;
    }
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// The control of type T under `root` with this object name; the run ends when there is none.
template <typename T>
T* ObjectNamed(const QObject& root, const char* objectName)
{
    T* found = root.findChild<T*>(QString::fromLatin1(objectName));
    if (!found)
        qFatal("no control %s", objectName);
    return found;
}

// What each window's struct of controls shares: the window, and the look-up of a control by
// the name it has in the window's language (`context` is the window class's translation
// context).
template <class Window>
struct ControlsOf {
    ControlsOf(Window& window, const char* context) : page(window), context(context) {}

    Window* operator->() const { return &page; }
    QString Tr(const char* text) const { return QCoreApplication::translate(context, text); }
    template <typename T>
    T* Find(const char* name) const
    {
        return Named<T>(page, Tr(name));
    }

    Window& page;
    const char* const context;
};
