// SPDX-License-Identifier: MIT
#include "ui/screens/ScreenTask.h"

#include "service/ApiTypes.h"

#include <exception>

ScreenTask::ScreenTask(QObject *screen, std::function<void()> busyChanged)
    : m_screen(screen)
    , m_busyChanged(std::move(busyChanged))
{}

bool ScreenTask::run(const std::function<QCoro::Task<void>()> &action,
                     std::function<void(const Outcome &)> done)
{
    if (m_busy)
        return false;
    setBusy(true);
    drive(m_screen, this, action(), std::move(done));
    return true;
}

QString ScreenTask::describeCurrent()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return errorDescription(error);
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

// The task lives inside its screen, so it exists exactly while the screen does.
QCoro::Task<> ScreenTask::drive(QPointer<QObject> screen, ScreenTask *task, QCoro::Task<void> work,
                                std::function<void(const Outcome &)> done)
{
    Outcome outcome;
    try {
        co_await std::move(work);
    } catch (...) {
        outcome = describeCurrent();
    }
    if (!screen)
        co_return;
    try {
        done(outcome);
    } catch (...) {
        // Nothing a screen does with an outcome throws; if it did, its buttons still come back.
    }
    task->setBusy(false);
}

void ScreenTask::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    m_busyChanged();
}
