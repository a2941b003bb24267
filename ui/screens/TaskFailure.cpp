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
