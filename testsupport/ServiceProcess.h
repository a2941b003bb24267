// SPDX-License-Identifier: MIT
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// A real quorl-service for tests: its own process on a free loopback port, with a temporary data
// folder that outlives restarts (so a test can kill it and start it again on the same data).
class ServiceProcess
{
public:
    ~ServiceProcess();

    // Starts the service and waits (up to 20 s) until it has printed its address.
    bool start(const QStringList &extraArguments = {});
    void kill(); // SIGKILL, as in a crash
    void stop(); // SIGTERM

    [[nodiscard]] QUrl base() const; // https://localhost:<port>/api
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] QString dataDir() const { return m_data.path(); }
    [[nodiscard]] QString resetSecret() const { return m_resetSecret; }

    // The standard output so far, and the code of the latest "mail" line for the address.
    [[nodiscard]] QString output();
    [[nodiscard]] QString latestCode(const QString &email);

    [[nodiscard]] static QByteArray devCaPem();

private:
    QTemporaryDir m_data;
    std::unique_ptr<QProcess> m_process;
    QString m_output;
    quint16 m_port = 0;
    QString m_resetSecret;
};
