// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"

#include <QCoroTask>
#include <QEventLoop>

#include <exception>
#include <optional>
#include <type_traits>

// Helpers for driving coroutines from QtTest: run a task to its end on the test's event loop.

// Runs the task to its end on a local event loop; returns its result or rethrows its exception.
// (QCoro::waitFor loses exceptions and then never returns.)
template<class T> T awaitTask(QCoro::Task<T> task)
{
    using Stored = std::conditional_t<std::is_void_v<T>, bool, T>;
    QEventLoop loop;
    std::optional<Stored> result;
    std::exception_ptr error;
    bool done = false;
    [](QCoro::Task<T> task, std::optional<Stored> *result, std::exception_ptr *error, bool *done,
       QEventLoop *loop) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>) {
                co_await task;
                result->emplace(true);
            } else {
                result->emplace(co_await task);
            }
        } catch (...) {
            *error = std::current_exception();
        }
        *done = true;
        loop->quit();
    }(std::move(task), &result, &error, &done, &loop);
    if (!done)
        loop.exec();
    if (error)
        std::rethrow_exception(error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*result);
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
