// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// For the screens' background tasks: the message line's text for whatever was thrown.
namespace TaskFailure {

// Call only inside a catch block: describes the exception being handled (the service's own
// message for an AppError, the platform's text for a transport failure).
[[nodiscard]] QString describeCurrent();

} // namespace TaskFailure
