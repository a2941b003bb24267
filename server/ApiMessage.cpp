// SPDX-License-Identifier: MIT
#include "server/ApiMessage.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {

// Whether the text's \u escapes name a lone UTF-16 surrogate: a high one not followed at once by
// an escaped low one, or a low one on its own. Qt's reader would not refuse them: it joins a high
// surrogate with whatever character follows (which is lost) and keeps a lone one as text that
// turns into invalid UTF-8 when stored. A backslash outside a string is a syntax error anyway, so
// the escapes are found without following the strings.
bool hasLoneSurrogateEscape(const QByteArray &json)
{
    // The code unit of the \uXXXX escape at i, or -1 when there is none.
    const auto unitAt = [&json](qsizetype i) {
        if (i + 6 > json.size() || json[i] != '\\' || json[i + 1] != 'u')
            return -1;
        bool ok = false;
        const int unit = json.mid(i + 2, 4).toInt(&ok, 16);
        return ok ? unit : -1;
    };
    for (qsizetype i = 0; i < json.size(); ++i) {
        if (json[i] != '\\')
            continue;
        const int unit = unitAt(i);
        if (QChar::isLowSurrogate(unit))
            return true;
        if (QChar::isHighSurrogate(unit)) {
            if (!QChar::isLowSurrogate(unitAt(i + 6)))
                return true;
            i += 6; // the pair's low half
        }
        ++i; // the escaped character: an escaped backslash starts no escape
    }
    return false;
}

} // namespace

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
    if (hasLoneSurrogateEscape(body)) {
        m_error = QStringLiteral("The request body holds half of a UTF-16 surrogate pair (a \\u escape "
                                 "from D800 to DFFF without its other half); text must be valid Unicode.");
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
