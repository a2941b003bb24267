// SPDX-License-Identifier: MIT
#include "server/InputRules.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace InputRules {

namespace {
qsizetype characters(const QString &text)
{
    return text.toUcs4().size();
}

QString noControls(const char *what)
{
    return QStringLiteral("The %1 must not contain line breaks, tabs or other control characters.")
        .arg(QLatin1String(what));
}
} // namespace

bool hasControlCharacters(const QString &text)
{
    // Surrogates are not in Cc, so looking at UTF-16 units one by one is enough.
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString checkUsername(const QString &username)
{
    // Anchored on the whole text: "$" alone would also match before a final line feed.
    static const QRegularExpression shape(QRegularExpression::anchoredPattern(
        QStringLiteral("[A-Za-z0-9._-]{%1,%2}").arg(minUsernameLength).arg(maxUsernameLength)));
    if (shape.match(username).hasMatch())
        return {};
    if (hasControlCharacters(username))
        return noControls("user name");
    return QStringLiteral("A user name has %1 to %2 characters: letters A to Z, digits, '.', '_' and '-'.")
        .arg(minUsernameLength)
        .arg(maxUsernameLength);
}

QString checkEmail(const QString &email)
{
    static const QString local = QStringLiteral("[^\\x00-\\x20\\x7f\\s@<>()\\[\\]\\\\,;:\"]");
    static const QString label = QStringLiteral("[^\\x00-\\x20\\x7f\\s@<>()\\[\\]\\\\,;:\".]");
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral("%1{1,64}@(?:%2+\\.)+%2+").arg(local, label)));
    if (hasControlCharacters(email))
        return noControls("e-mail address");
    if (email.size() <= maxEmailLength && shape.match(email).hasMatch() &&
        !email.contains(QStringLiteral("..")))
        return {};
    return QStringLiteral("That does not look like an e-mail address (name@example.com).");
}

QString checkPassword(const QString &password)
{
    if (characters(password) >= minPasswordLength)
        return {};
    return QStringLiteral("The password must have at least %1 characters.").arg(minPasswordLength);
}

QString checkNote(const QString &note)
{
    if (characters(note) > maxNoteLength)
        return QStringLiteral("The note can have at most %1 characters.").arg(maxNoteLength);
    if (hasControlCharacters(note))
        return noControls("note");
    return {};
}

QString checkSearchText(const QString &text)
{
    return hasControlCharacters(text) ? noControls("search text") : QString();
}

QString searchText(const QUrlQuery &query)
{
    QString text = query.queryItemValue(QStringLiteral("q"), QUrl::FullyDecoded);
    static const QRegularExpression escape(QStringLiteral("%[0-9A-Fa-f]{2}"));
    if (text.contains(escape))
        text = QUrl::fromPercentEncoding(text.toUtf8());
    return text;
}

} // namespace InputRules
