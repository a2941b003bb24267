// SPDX-License-Identifier: MIT
#include "server/ServiceOptions.h"

#include "server/Amount.h"
#include "server/InputRules.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>

#ifndef QUORL_DEV_SERVER_CERT
#define QUORL_DEV_SERVER_CERT ""
#endif
#ifndef QUORL_DEV_SERVER_KEY
#define QUORL_DEV_SERVER_KEY ""
#endif

std::optional<ServiceOptions> ServiceOptions::parse(const QStringList &arguments, QString *error)
{
    const QString defaultData = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                                    .filePath(u"quorl-service"_qs);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"A local stand-in for the Quorl Bank service, for running the desktop client and its tests on one\n"
        "machine. It serves the client's HTTPS JSON API under /api on 127.0.0.1 and ::1 (localhost),\n"
        "keeps accounts and transfers in an SQLite database in the data folder, and \"mails\"\n"
        "verification codes by writing each message into DATA/outbox/ and printing a line here.\n"
        "Password resets need the reset secret, which is printed at start."_qs);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(u"port"_qs, u"TCP port to listen on (default 8443; 0 picks a free one)."_qs,
                                  u"port"_qs, u"8443"_qs);
    const QCommandLineOption data(
        u"data"_qs, u"Data folder: database, outbox/, reset secret (default %1)."_qs.arg(defaultData),
        u"dir"_qs, defaultData);
    const QCommandLineOption cert(
        u"cert"_qs, u"TLS certificate chain, PEM (default: the build's development certificate)."_qs,
        u"file"_qs, QString::fromUtf8(QUORL_DEV_SERVER_CERT));
    const QCommandLineOption key(u"key"_qs,
                                 u"TLS private key, PEM (default: the build's development key)."_qs,
                                 u"file"_qs, QString::fromUtf8(QUORL_DEV_SERVER_KEY));
    const QCommandLineOption secret(
        u"reset-secret"_qs,
        u"Secret that password resets must give (default: a random one created on first "
        "start and kept in DATA/reset-secret)."_qs,
        u"text"_qs);
    const QCommandLineOption balance(
        u"starting-balance"_qs, u"Balance of each new account in Quorls, up to 6 decimals (default 1000)."_qs,
        u"amount"_qs, u"1000"_qs);
    const QCommandLineOption idle(
        u"idle-timeout"_qs,
        u"Seconds a connection may take to send a whole request, from its start or its previous reply, "
        "before it is closed (default 30)."_qs,
        u"seconds"_qs, u"30"_qs);
    const QCommandLineOption perAddress(
        u"max-connections-per-address"_qs,
        u"Open connections allowed from one address; more are closed at once (default 64)."_qs, u"count"_qs,
        u"64"_qs);
    const QCommandLineOption tokenLifetime(
        u"token-lifetime"_qs, u"Days a sign-in token stays valid after it was issued (default 30)."_qs,
        u"days"_qs, u"30"_qs);
    parser.addOptions({port, data, cert, key, secret, balance, idle, perAddress, tokenLifetime});
    parser.process(arguments);

    if (!parser.positionalArguments().isEmpty()) {
        *error = u"unexpected argument: %1"_qs.arg(parser.positionalArguments().first());
        return std::nullopt;
    }
    ServiceOptions options;
    bool ok = false;
    const uint portValue = parser.value(port).toUInt(&ok);
    if (!ok || portValue > 65535) {
        *error = u"--port must be a number from 0 to 65535"_qs;
        return std::nullopt;
    }
    options.port = quint16(portValue);
    options.dataDir = QDir(parser.value(data)).absolutePath();
    options.certFile = parser.value(cert);
    options.keyFile = parser.value(key);
    if (parser.isSet(secret)) {
        options.resetSecret = parser.value(secret);
        if (options.resetSecret.isEmpty() || InputRules::hasControlCharacters(options.resetSecret)) {
            *error = u"--reset-secret must not be empty or hold control characters"_qs;
            return std::nullopt;
        }
    }
    const auto micros = Amount::fromText(parser.value(balance));
    if (!micros) {
        *error = u"--starting-balance must be a non-negative amount with at most 6 decimals, up to 10^12"_qs;
        return std::nullopt;
    }
    options.startingBalance = *micros;
    const double idleSeconds = parser.value(idle).toDouble(&ok);
    if (!ok || !(idleSeconds >= 0.1 && idleSeconds <= 3600)) {
        *error = u"--idle-timeout must be a number of seconds from 0.1 to 3600"_qs;
        return std::nullopt;
    }
    options.idleTimeoutMs = qRound(idleSeconds * 1000);
    options.maxConnectionsPerAddress = parser.value(perAddress).toInt(&ok);
    if (!ok || options.maxConnectionsPerAddress < 1 || options.maxConnectionsPerAddress > 100'000) {
        *error = u"--max-connections-per-address must be a number from 1 to 100000"_qs;
        return std::nullopt;
    }
    const double tokenDays = parser.value(tokenLifetime).toDouble(&ok);
    if (!ok || !(tokenDays > 0 && tokenDays <= 36'500)) {
        *error = u"--token-lifetime must be a number of days above 0, at most 36500"_qs;
        return std::nullopt;
    }
    options.tokenLifetimeMs = qRound64(tokenDays * 86'400'000);
    if (options.certFile.isEmpty() || options.keyFile.isEmpty()) {
        *error = u"--cert and --key are needed (this build has no development certificate)"_qs;
        return std::nullopt;
    }
    return options;
}
