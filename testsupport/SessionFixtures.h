// SPDX-License-Identifier: MIT
#pragma once

#include "service/APIService.h"
#include "session/AuthService.h"
#include "testsupport/Await.h"
#include "testsupport/FakeService.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <chrono>
#include <memory>

// The tests' one set of service replies (JSON bodies and scripted replies), and observers of a
// session.
namespace SessionFixtures {

using namespace std::chrono_literals;

inline QByteArray userJson(const QByteArray &name, double balance = 100, bool verified = true)
{
    return R"({"username":")" + name + R"(","email":")" + name + R"(@example.com","account_number":"QB-)" +
           name.toUpper() + R"(","balance":)" + QByteArray::number(balance) + R"(,"is_verified":)" +
           (verified ? "true" : "false") + "}";
}

inline QByteArray transactionJson(const QByteArray &id)
{
    return R"({"id":")" + id +
           R"(","from_user":"ann","to_user":"bob","amount":5,"note":"","created_at":"2025-03-01T10:15:30.123Z"})";
}

// A transfer as the dashboard shows it.
struct Transfer
{
    QString from;
    QString to;
    double amount;
    QString note;
    QString createdAt = QStringLiteral("2025-03-01T15:05:30.123Z");
};

inline QByteArray transfersJson(const QList<Transfer> &transfers)
{
    QJsonArray list;
    int id = 0;
    for (const Transfer &t : transfers)
        list.append(QJsonObject{{"id", QString::number(++id)},
                                {"from_user", t.from},
                                {"to_user", t.to},
                                {"amount", t.amount},
                                {"note", t.note},
                                {"created_at", t.createdAt}});
    return QJsonDocument(QJsonObject{{"transactions", list}}).toJson(QJsonDocument::Compact);
}

inline QByteArray meJson(const QByteArray &name, bool verified = true)
{
    return R"({"user":)" + userJson(name, 100, verified) + "}";
}

inline QByteArray authJson(const QByteArray &token, const QByteArray &name, bool verified = true,
                           double balance = 100)
{
    return R"({"token":")" + token + R"(","user":)" + userJson(name, balance, verified) + "}";
}

// The answer to a transfer: the sender's new record and the transfer itself.
inline QByteArray sendJson(const QByteArray &name, double balance, const QByteArray &id = "t1")
{
    return R"({"user":)" + userJson(name, balance) + R"(,"transaction":)" + transactionJson(id) + "}";
}

inline FakeReply meReply(const QByteArray &name, bool verified = true)
{
    return FakeReply::json(200, meJson(name, verified));
}

inline FakeReply authReply(const QByteArray &token, const QByteArray &name, bool verified = true)
{
    return FakeReply::json(200, authJson(token, name, verified));
}

inline FakeReply sendReply(const QByteArray &name, double balance, const QByteArray &id = "t1")
{
    return FakeReply::json(200, sendJson(name, balance, id));
}

// Search hits: each name with the account number "QB-" and the name in capitals.
inline FakeReply usersReply(const QStringList &names)
{
    QJsonArray list;
    for (const QString &name : names)
        list.append(QJsonObject{{"username", name}, {"account_number", "QB-" + name.toUpper()}});
    return FakeReply::json(200, QJsonDocument(QJsonObject{{"users", list}}).toJson(QJsonDocument::Compact));
}

// A transfer list of the given ids.
inline FakeReply listReply(const QList<QByteArray> &ids)
{
    QByteArrayList items;
    for (const QByteArray &id : ids)
        items << transactionJson(id);
    return FakeReply::json(200, R"({"transactions":[)" + items.join(',') + "]}");
}

inline FakeReply errorReply(int status, const QString &message)
{
    return FakeReply::json(status, R"({"error":")" + message.toUtf8() + R"("})");
}

// Every change notification of a session, in order, with the state it announced:
// "loading:1", "user:ann" (or "user:none"), "transactions:t1,t2".
class Recorder
{
public:
    explicit Recorder(AuthService &session)
    {
        QObject::connect(&session, &AuthService::isLoadingChanged, &session,
                         [this, &session] { events << u"loading:%1"_qs.arg(int(session.isLoading())); });
        QObject::connect(&session, &AuthService::currentUserChanged, &session, [this, &session] {
            events << u"user:"_qs + (session.currentUser() ? session.currentUser()->username : u"none"_qs);
        });
        QObject::connect(&session, &AuthService::transactionsChanged, &session, [this, &session] {
            QStringList ids;
            for (const APITransaction &t : session.transactions())
                ids << t.id;
            events << u"transactions:"_qs + ids.join(u',');
        });
    }
    QStringList events;
};

inline QStringList paths(const QList<RecordedRequest> &requests)
{
    QStringList result;
    for (const RecordedRequest &r : requests)
        result << QString::fromLatin1(r.method) + u' ' + r.path;
    return result;
}

// An AuthService with no stored token, over an APIService that talks to a fresh HTTPS fake, or to
// a server elsewhere that answers the sign-in and the transfer list by itself (then there is no fake).
struct Session
{
    Session()
        : fake(std::make_unique<FakeService>())
    {
        useServer(fake->options());
    }
    explicit Session(const APIService::Options &server) { useServer(server); }
    ~Session() { auth->setToken(std::nullopt); }

    // Signs in as the user (token "tok-<name>"); the transfer list served from then on is `transfers`.
    bool signIn(const QString &name, bool verified = true, double balance = 100,
                const QList<Transfer> &transfers = {})
    {
        if (fake) {
            fake->enqueue(
                "POST", u"/api/login"_qs,
                FakeReply::json(200, authJson("tok-" + name.toUtf8(), name.toUtf8(), verified, balance)));
            serveTransfers(transfers);
        }
        return !failureOf(auth->login(name, u"secret1"_qs)) && auth->currentUser();
    }

    void serveTransfers(const QList<Transfer> &transfers)
    {
        fake->setFallback("GET", u"/api/transactions"_qs, FakeReply::json(200, transfersJson(transfers)));
    }

    std::unique_ptr<FakeService> fake;
    std::unique_ptr<APIService> api;
    std::unique_ptr<AuthService> auth;

private:
    void useServer(const APIService::Options &server)
    {
        api = std::make_unique<APIService>(server);
        auth = std::make_unique<AuthService>(*api);
        auth->setToken(std::nullopt);
    }
};

} // namespace SessionFixtures
