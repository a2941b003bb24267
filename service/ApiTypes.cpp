// SPDX-License-Identifier: MIT
#include "service/ApiTypes.h"

const char *ServiceError::what() const noexcept
{
    m_what = description().toStdString();
    return m_what.c_str();
}

QString DecodingError::description() const
{
    if (m_kind == Kind::DataCorrupted && m_detail.startsWith(QLatin1String("Bad date: ")))
        return m_detail;
    QString text = QStringLiteral("The data couldn't be read because ") + m_detail;
    if (m_codingPath.isEmpty())
        return text + QLatin1Char('.');
    return text + QStringLiteral(" (at ") + m_codingPath + QStringLiteral(").");
}

QString CancellationError::description() const
{
    return QStringLiteral("The operation was cancelled.");
}

QString errorDescription(const std::exception &error)
{
    if (const auto *serviceError = dynamic_cast<const ServiceError *>(&error))
        return serviceError->description();
    return QString::fromLocal8Bit(error.what());
}
