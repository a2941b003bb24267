// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QString>

#include <optional>

// For the screens' background tasks: the message line's text for whatever was thrown.
namespace TaskFailure {

// Call only inside a catch block: describes the exception being handled (the service's own
// message for an AppError, the platform's text for a transport failure).
[[nodiscard]] QString describeCurrent();

// Awaits the task and never throws: nothing when it succeeded, else what describeCurrent() says.
[[nodiscard]] QCoro::Task<std::optional<QString>> of(QCoro::Task<void> task);

} // namespace TaskFailure
