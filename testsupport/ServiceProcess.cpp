// SPDX-License-Identifier: MIT
#include "testsupport/ServiceProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

ServiceProcess::~ServiceProcess()
{
    stop();
}

bool ServiceProcess::start(const QStringList &extraArguments)
{
    stop();
    m_output.clear();
    m_port = 0;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral(QUORL_SERVICE_EXECUTABLE),
                     QStringList{u"--port"_qs, u"0"_qs, u"--data"_qs, m_data.path()} + extraArguments);
    if (!m_process->waitForStarted(10000))
        return false;
    static const QRegularExpression address(u"address: +https://localhost:(\\d+)/api"_qs);
    static const QRegularExpression secret(u"reset secret: +(\\S+)"_qs);
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(100);
        const QString text = output();
        const auto a = address.match(text);
        const auto s = secret.match(text);
        if (a.hasMatch() && s.hasMatch()) {
            m_port = quint16(a.captured(1).toUInt());
            m_resetSecret = s.captured(1);
            return true;
        }
    }
    return false;
}

void ServiceProcess::kill()
{
    if (!m_process)
        return;
    m_process->kill();
    m_process->waitForFinished(10000);
    m_process.reset();
}

void ServiceProcess::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(10000))
        m_process->kill();
    m_process->waitForFinished(10000);
    m_process.reset();
}

QUrl ServiceProcess::base() const
{
    return QUrl(u"https://localhost:%1/api"_qs.arg(m_port));
}

QString ServiceProcess::output()
{
    if (m_process)
        m_output += QString::fromUtf8(m_process->readAllStandardOutput());
    return m_output;
}

QString ServiceProcess::latestCode(const QString &email)
{
    const QRegularExpression line(
        u"mail to %1: verification code (\\d{6})"_qs.arg(QRegularExpression::escape(email)));
    QString code;
    auto it = line.globalMatch(output());
    while (it.hasNext())
        code = it.next().captured(1);
    return code;
}

QByteArray ServiceProcess::devCaPem()
{
    QFile file(QStringLiteral(QUORL_DEV_CA_CERT));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
