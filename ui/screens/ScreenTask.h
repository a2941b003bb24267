// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

// The background action of a screen's state class, one at a time: busy() is true while it runs, a
// start while it is busy does nothing, and its end reaches the screen only if the screen still
// exists. A failure becomes the message line's text: the service's own message for an AppError,
// the platform's text for a transport failure.
//
// A screen without a session (no AuthService) has nothing to act on; its actions return before
// they get here. A session without a sign-in fails its operations with its own "Not logged in.".
class ScreenTask
{
public:
    using Outcome = std::optional<QString>; // nothing on success, else the failure's text

    // busyChanged is called after every change of busy().
    ScreenTask(QObject *screen, std::function<void()> busyChanged);

    [[nodiscard]] bool busy() const { return m_busy; }

    // Unless busy: becomes busy, runs action() and, once it has ended and while the screen exists,
    // calls done with the outcome and stops being busy, even when done throws. Returns whether it
    // started.
    bool run(const std::function<QCoro::Task<void>()> &action, std::function<void(const Outcome &)> done);

    // Call only inside a catch block: the text for the exception being handled.
    [[nodiscard]] static QString describeCurrent();

    // Stores value in field and emits the object's changed signal when they differ: the setter of a
    // property whose change does more than notify.
    template<class Object, class T, class V>
    static bool assign(Object *object, T &field, V &&value, void (Object::*changed)())
    {
        if (field == value)
            return false;
        field = std::forward<V>(value);
        Q_EMIT(object->*changed)();
        return true;
    }

private:
    static QCoro::Task<> drive(QPointer<QObject> screen, ScreenTask *task, QCoro::Task<void> work,
                               std::function<void(const Outcome &)> done);
    void setBusy(bool busy);

    QObject *m_screen;
    std::function<void()> m_busyChanged;
    bool m_busy = false;
};
