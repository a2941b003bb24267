// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"

#include <QCoroTask>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>

// Helpers for driving coroutines from QtTest: run a task to its end on the test's event loop.

// Runs the task to its end on a local event loop; returns its result or rethrows its exception.
// (QCoro::waitFor loses exceptions and then never returns.) A task still running after the limit
// fails with std::runtime_error; it is left behind, and whatever it does later touches only state
// of its own.
template<class T> T awaitTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    struct State
    {
        QEventLoop loop;
        std::optional<Stored> result;
        std::exception_ptr error;
        bool done = false;
    };
    const auto state = std::make_shared<State>();
    [](QCoro::Task<T> task, std::shared_ptr<State> state) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                state->result.emplace(true);
            } else {
                state->result.emplace(co_await task);
            }
        } catch (...) {
            state->error = std::current_exception();
        }
        state->done = true;
        state->loop.quit();
    }(std::move(task), state);
    if (!state->done) {
        QTimer::singleShot(limit, &state->loop, &QEventLoop::quit);
        state->loop.exec();
    }
    if (!state->done)
        throw std::runtime_error("the task did not end within " + std::to_string(limit.count()) + " ms");
    if (state->error)
        std::rethrow_exception(state->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*state->result);
}

// The exception a task ended with, or null when it succeeded.
template<class T> std::exception_ptr failureOf(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The error as E, or nothing when it is another type (or no error at all).
template<class E> std::optional<E> errorAs(const std::exception_ptr &error)
{
    if (!error)
        return std::nullopt;
    try {
        std::rethrow_exception(error);
    } catch (const E &e) {
        return e;
    } catch (...) {
    }
    return std::nullopt;
}

// The error's description for a test message; empty when there was none.
inline QString describe(const std::exception_ptr &error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return errorDescription(e);
    } catch (...) {
    }
    return QStringLiteral("(not a std::exception)");
}
