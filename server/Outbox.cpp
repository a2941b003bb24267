// SPDX-License-Identifier: MIT
#include "server/Outbox.h"

#include "server/Crypto.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QSaveFile>

Outbox::Outbox(QString folder, FILE *announce)
    : m_folder(std::move(folder))
    , m_announce(announce)
{}

namespace {

// Registration refuses control characters, but accounts made before that rule may still hold some:
// they must not start a new header line or a new output line.
QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

bool Outbox::sendCode(const QString &rawUsername, const QString &rawEmail, const QString &code)
{
    const QString username = oneLine(rawUsername);
    const QString email = oneLine(rawEmail);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString id = Crypto::randomText(12);
    const QString date =
        QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) + u" +0000"_qs;
    const QString message = QStringLiteral("From: Quorl Bank <no-reply@quorl-service.localhost>\r\n"
                                           "To: %1 <%2>\r\n"
                                           "Subject: Your Quorl Bank verification code\r\n"
                                           "Date: %3\r\n"
                                           "Message-ID: <%4@quorl-service.localhost>\r\n"
                                           "MIME-Version: 1.0\r\n"
                                           "Content-Type: text/plain; charset=utf-8\r\n"
                                           "Content-Transfer-Encoding: 8bit\r\n"
                                           "\r\n"
                                           "Hello %1,\r\n"
                                           "\r\n"
                                           "your verification code is %5. It is valid for 15 minutes.\r\n"
                                           "\r\n"
                                           "Quorl Bank\r\n")
                                .arg(username, email, date, id, code);

    const QString name = now.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")) + u'-' + id + u".eml"_qs;
    QSaveFile file(QDir(m_folder).filePath(name));
    bool written = file.open(QIODevice::WriteOnly) && file.write(message.toUtf8()) >= 0 && file.commit();

    std::fprintf(m_announce, "mail to %s: verification code %s\n", qPrintable(email), qPrintable(code));
    std::fflush(m_announce);
    return written;
}
