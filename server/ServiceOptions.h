// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line of quorl-service.
struct ServiceOptions
{
    quint16 port = 8443; // 0: any free port (the banner names it)
    QString dataDir;
    QString certFile;
    QString keyFile;
    QString resetSecret; // empty: the one kept in the data folder
    qint64 startingBalance = 0;
    int idleTimeoutMs = 30'000;                 // a connection without a whole request for so long is closed
    int maxConnectionsPerAddress = 64;          // more from one peer address are closed at once
    qint64 tokenLifetimeMs = 30LL * 86'400'000; // sign-in tokens older than this get 401

    // Exits the process for --help and --version, like QCommandLineParser::process.
    static std::optional<ServiceOptions> parse(const QStringList &arguments, QString *error);
};
