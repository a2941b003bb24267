// SPDX-License-Identifier: MIT
#include "server/ApiMessage.h"

#include <QJsonDocument>
#include <QJsonParseError>

ApiReply ApiReply::error(int status, const QString &message)
{
    return {status, QJsonObject{{QStringLiteral("error"), message}}, {}};
}

ApiReply ApiReply::message(const QString &text)
{
    return ok(QJsonObject{{QStringLiteral("message"), text}});
}

QByteArray ApiReply::bytes() const
{
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

BodyReader::BodyReader(const QByteArray &body)
{
    if (body.trimmed().isEmpty()) {
        m_error = QStringLiteral("The request body is empty; send a JSON object.");
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        m_error = QStringLiteral("The request body is not valid JSON (%1 at byte %2).")
                      .arg(parseError.errorString())
                      .arg(parseError.offset);
        return;
    }
    if (!doc.isObject()) {
        m_error = QStringLiteral("The request body must be a JSON object.");
        return;
    }
    m_object = doc.object();
}

QJsonValue BodyReader::field(const char *key)
{
    if (!ok())
        return {};
    const QJsonValue value = m_object.value(QLatin1String(key));
    if (value.isUndefined())
        m_error = QStringLiteral("The field \"%1\" is missing.").arg(QLatin1String(key));
    return value;
}

QString BodyReader::string(const char *key)
{
    const QJsonValue value = field(key);
    if (!ok())
        return {};
    if (!value.isString()) {
        m_error = QStringLiteral("The field \"%1\" must be a string.").arg(QLatin1String(key));
        return {};
    }
    return value.toString();
}

double BodyReader::number(const char *key)
{
    const QJsonValue value = field(key);
    if (!ok())
        return 0;
    if (!value.isDouble()) {
        m_error = QStringLiteral("The field \"%1\" must be a number.").arg(QLatin1String(key));
        return 0;
    }
    return value.toDouble();
}
