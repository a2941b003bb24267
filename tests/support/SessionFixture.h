// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"
#include "session/AuthService.h"
#include "tests/support/FakeService.h"

#include <QByteArray>
#include <QString>

// A session of its own for the screens' tests: an AuthService over an APIService that talks to a
// fresh HTTPS fake of the service, with no stored token. Make one per test function.
struct SessionFixture
{
    SessionFixture() { auth.setToken(std::nullopt); }
    ~SessionFixture() { auth.setToken(std::nullopt); }

    // A user record as the service sends it.
    static QByteArray userJson(bool verified, const QString &email = QStringLiteral("ann@example.com"))
    {
        return QByteArrayLiteral(R"({"username":"ann","email":")") + email.toUtf8() +
               QByteArrayLiteral(R"(","account_number":"QB-0001","balance":100,"is_verified":)") +
               (verified ? "true" : "false") + "}";
    }
    static QByteArray authJson(bool verified)
    {
        return QByteArrayLiteral(R"({"token":"tok","user":)") + userJson(verified) + "}";
    }
    static QByteArray errorJson(const QString &message)
    {
        return QByteArrayLiteral(R"({"error":")") + message.toUtf8() + "\"}";
    }

    // Signs in as ann through the fake; the transfer list comes back empty.
    void signIn(bool verified);

    FakeService fake;
    APIService api{fake.options()};
    AuthService auth{api};
};
