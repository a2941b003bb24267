// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>

#include <chrono>

#include <functional>
#include <memory>

// Cancellation for service operations. QCoro tasks cannot be cancelled from outside, so an
// operation takes a CancelToken and watches it: on cancel the request in flight is aborted, a
// retry pause ends at once, and the operation fails with CancellationError.
//
// A CancelSource owns the state; tokens copied from it share it. A default-made token can never
// be cancelled. Everything here is used on the thread that made the source (the UI thread).

namespace detail {
class CancelState : public QObject
{
    Q_OBJECT
public:
    bool cancelled = false;
Q_SIGNALS:
    void cancelRequested();
};

// Fired once to resume a coroutine that waits on it.
class Wakeup : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void fired();
};
} // namespace detail

class CancelToken
{
public:
    CancelToken() = default;

    [[nodiscard]] bool isCancelled() const { return m_state && m_state->cancelled; }

    // Runs f once when the token is cancelled, while context lives; at once if it already is.
    // The returned connection may be disconnected to stop watching.
    QMetaObject::Connection onCancel(QObject *context, std::function<void()> f) const;

private:
    friend class CancelSource;
    explicit CancelToken(std::shared_ptr<detail::CancelState> state)
        : m_state(std::move(state))
    {}
    std::shared_ptr<detail::CancelState> m_state;
};

class CancelSource
{
public:
    CancelSource();
    CancelSource(const CancelSource &) = delete;
    CancelSource &operator=(const CancelSource &) = delete;
    CancelSource(CancelSource &&) noexcept = default;
    CancelSource &operator=(CancelSource &&) noexcept = default;

    // Cancels every operation holding a token of this source. Idempotent.
    void cancel();
    [[nodiscard]] bool isCancelled() const { return m_state->cancelled; }
    [[nodiscard]] CancelToken token() const { return CancelToken(m_state); }

private:
    std::shared_ptr<detail::CancelState> m_state;
};

// Waits for the given time, or less when the token is cancelled; then throws CancellationError if
// it was. Used for the pause before a retry.
QCoro::Task<> cancellableSleep(std::chrono::milliseconds duration, CancelToken cancel);
