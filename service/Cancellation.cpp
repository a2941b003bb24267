// SPDX-License-Identifier: MIT
#include "service/Cancellation.h"

#include "service/ApiTypes.h"

#include <QCoroSignal>
#include <QScopeGuard>
#include <QTimer>

QMetaObject::Connection CancelToken::onCancel(QObject *context, std::function<void()> f) const
{
    if (!m_state)
        return {};
    if (m_state->cancelled) {
        f();
        return {};
    }
    return QObject::connect(m_state.get(), &detail::CancelState::cancelRequested, context, std::move(f),
                            Qt::SingleShotConnection);
}

CancelSource::CancelSource()
    : m_state(std::make_shared<detail::CancelState>())
{}

void CancelSource::cancel()
{
    if (!m_state || m_state->cancelled)
        return;
    m_state->cancelled = true;
    Q_EMIT m_state->cancelRequested();
}

QCoro::Task<> cancellableSleep(std::chrono::milliseconds duration, CancelToken cancel)
{
    if (cancel.isCancelled())
        throw CancellationError();
    // Heap-allocated and deleted later: the coroutine may resume inside the wake-up's own signal.
    auto *wakeup = new detail::Wakeup;
    const auto release = qScopeGuard([wakeup] { wakeup->deleteLater(); });
    QTimer::singleShot(duration, Qt::PreciseTimer, wakeup, [wakeup] { Q_EMIT wakeup->fired(); });
    // Queued, so that cancel() never runs the rest of an operation inside its own call.
    cancel.onCancel(wakeup, [wakeup] {
        QMetaObject::invokeMethod(
            wakeup, [wakeup] { Q_EMIT wakeup->fired(); }, Qt::QueuedConnection);
    });
    co_await qCoro(wakeup, &detail::Wakeup::fired);
    if (cancel.isCancelled())
        throw CancellationError();
}
