// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

#include <functional>

// One request as the endpoints see it, copied out of the HTTP layer so that it can outlive the
// connection's own request object while a password is being hashed.
struct ApiRequest
{
    QByteArray method; // "GET", "POST", ...
    QString path;      // "/api/users/search"
    QUrlQuery query;
    QByteArray body;
    QByteArray authorization;  // the raw "Authorization" header, empty when absent
    QByteArray idempotencyKey; // the raw "Idempotency-Key" header, empty when absent
    bool hasIdempotencyKey = false;
};

// One reply: a status and a JSON object. afterCommit runs once the outcome is in the database
// (it "mails" the verification code), and never for a reply repeated from the idempotency store.
struct ApiReply
{
    int status = 200;
    QJsonObject body;
    std::function<void()> afterCommit;

    static ApiReply ok(QJsonObject body) { return {200, std::move(body), {}}; }
    static ApiReply error(int status, const QString &message);
    static ApiReply message(const QString &text); // 200 {"message": text}

    [[nodiscard]] QByteArray bytes() const;
};

// Reads the fields of a JSON request body strictly: the first problem (malformed JSON, a body that
// is not an object, a missing key, a value of another type) is kept and becomes a 400 reply.
class BodyReader
{
public:
    explicit BodyReader(const QByteArray &body);

    QString string(const char *key);
    double number(const char *key);

    [[nodiscard]] bool ok() const { return m_error.isEmpty(); }
    [[nodiscard]] ApiReply errorReply() const { return ApiReply::error(400, m_error); }

private:
    QJsonValue field(const char *key);

    QJsonObject m_object;
    QString m_error;
};
