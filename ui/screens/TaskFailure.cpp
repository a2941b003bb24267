// SPDX-License-Identifier: MIT
#include "ui/screens/TaskFailure.h"

#include "service/ApiTypes.h"

#include <exception>

QString TaskFailure::describeCurrent()
{
    try {
        throw;
    } catch (const std::exception &error) {
        return errorDescription(error);
    } catch (...) {
        return QStringLiteral("Unknown error.");
    }
}

QCoro::Task<std::optional<QString>> TaskFailure::of(QCoro::Task<void> task)
{
    std::optional<QString> failure;
    try {
        co_await std::move(task);
    } catch (...) {
        failure = describeCurrent();
    }
    co_return failure;
}
