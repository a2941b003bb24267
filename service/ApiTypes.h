// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QNetworkReply>
#include <QString>

#include "service/RecordFields.h"

#include <exception>
#include <string>
#include <tuple>

// Records read from the service's replies. They are only ever made by the reply reader
// (ReplyReader.h) and are never written back to JSON. Q_GADGET lets QML read their fields.
// Each record's field table (RecordFields.h) follows it: the fields in the order they are checked.

struct APIUser
{
    Q_GADGET
    Q_PROPERTY(QString username MEMBER username CONSTANT)
    Q_PROPERTY(QString email MEMBER email CONSTANT)
    Q_PROPERTY(QString accountNumber MEMBER accountNumber CONSTANT)
    Q_PROPERTY(double balance MEMBER balance CONSTANT)
    Q_PROPERTY(bool isVerified MEMBER isVerified CONSTANT)
public:
    QString username;
    QString email;
    QString accountNumber;
    double balance = 0;
    bool isVerified = false;

    friend bool operator==(const APIUser &, const APIUser &) = default;
};
template<> struct ReplyReader::Fields<APIUser>
{
    static constexpr auto list = std::tuple{
        Field{"username", "username", &APIUser::username},
        Field{"email", "email", &APIUser::email},
        Field{"accountNumber", "account_number", &APIUser::accountNumber},
        Field{"balance", "balance", &APIUser::balance},
        Field{"isVerified", "is_verified", &APIUser::isVerified},
    };
};

struct APITransaction
{
    Q_GADGET
    Q_PROPERTY(QString id MEMBER id CONSTANT)
    Q_PROPERTY(QString fromUser MEMBER fromUser CONSTANT)
    Q_PROPERTY(QString toUser MEMBER toUser CONSTANT)
    Q_PROPERTY(double amount MEMBER amount CONSTANT)
    Q_PROPERTY(QString note MEMBER note CONSTANT)
    Q_PROPERTY(QDateTime createdAt MEMBER createdAt CONSTANT)
public:
    QString id;
    QString fromUser;
    QString toUser;
    double amount = 0;
    QString note;
    QDateTime createdAt; // always UTC

    friend bool operator==(const APITransaction &, const APITransaction &) = default;
};
template<> struct ReplyReader::Fields<APITransaction>
{
    static constexpr auto list = std::tuple{
        Field{"id", "id", &APITransaction::id, Sharing::Unique},
        Field{"fromUser", "from_user", &APITransaction::fromUser},
        Field{"toUser", "to_user", &APITransaction::toUser},
        Field{"amount", "amount", &APITransaction::amount},
        Field{"note", "note", &APITransaction::note},
        Field{"createdAt", "created_at", &APITransaction::createdAt},
    };
};

// Plain values that Qt may move in memory as bytes (long lists grow faster).
Q_DECLARE_TYPEINFO(APIUser, Q_RELOCATABLE_TYPE);
Q_DECLARE_TYPEINFO(APITransaction, Q_RELOCATABLE_TYPE);

// One hit of a user search; two hits with the same username are the same item.
struct UserResult
{
    Q_GADGET
    Q_PROPERTY(QString username MEMBER username CONSTANT)
    Q_PROPERTY(QString accountNumber MEMBER accountNumber CONSTANT)
public:
    QString username;
    QString accountNumber;

    friend bool operator==(const UserResult &, const UserResult &) = default;
};
template<> struct ReplyReader::Fields<UserResult>
{
    static constexpr auto list = std::tuple{
        Field{"username", "username", &UserResult::username},
        Field{"accountNumber", "account_number", &UserResult::accountNumber},
    };
};

Q_DECLARE_TYPEINFO(UserResult, Q_RELOCATABLE_TYPE);

struct AuthResponse
{
    QString token;
    APIUser user;
};
template<> struct ReplyReader::Fields<AuthResponse>
{
    static constexpr auto list =
        std::tuple{Field{"token", "token", &AuthResponse::token}, Field{"user", "user", &AuthResponse::user}};
};

struct MeResponse
{
    APIUser user;
};
template<> struct ReplyReader::Fields<MeResponse>
{
    static constexpr auto list = std::tuple{Field{"user", "user", &MeResponse::user}};
};

struct SendResponse
{
    APIUser user;
    APITransaction transaction;
};
template<> struct ReplyReader::Fields<SendResponse>
{
    static constexpr auto list = std::tuple{Field{"user", "user", &SendResponse::user},
                                            Field{"transaction", "transaction", &SendResponse::transaction}};
};

struct TransactionsResponse
{
    QList<APITransaction> transactions;
};
template<> struct ReplyReader::Fields<TransactionsResponse>
{
    static constexpr auto list =
        std::tuple{Field{"transactions", "transactions", &TransactionsResponse::transactions}};
};

struct SearchResponse
{
    QList<UserResult> users;
};
template<> struct ReplyReader::Fields<SearchResponse>
{
    static constexpr auto list = std::tuple{Field{"users", "users", &SearchResponse::users}};
};

// The three replies whose "message" is read and then dropped.
struct VerifyResponse
{
    QString message;
};
template<> struct ReplyReader::Fields<VerifyResponse>
{
    static constexpr auto list = std::tuple{Field{"message", "message", &VerifyResponse::message}};
};
struct ResendResponse
{
    QString message;
};
template<> struct ReplyReader::Fields<ResendResponse>
{
    static constexpr auto list = std::tuple{Field{"message", "message", &ResendResponse::message}};
};
struct ResetResponse
{
    QString message;
};
template<> struct ReplyReader::Fields<ResetResponse>
{
    static constexpr auto list = std::tuple{Field{"message", "message", &ResetResponse::message}};
};

// ---- Errors -------------------------------------------------------------------------------------
// Every failure of the service client is thrown as a ServiceError. Callers that must tell the
// service's own answer (AppError) from everything else catch AppError first.

class ServiceError : public std::exception
{
public:
    // The text shown to the user.
    [[nodiscard]] virtual QString description() const = 0;
    const char *what() const noexcept override;

private:
    mutable std::string m_what;
};

// The service answered with status 400 or above, or the session found no token.
class AppError final : public ServiceError
{
public:
    explicit AppError(QString message)
        : m_message(std::move(message))
    {}
    [[nodiscard]] QString message() const { return m_message; }
    [[nodiscard]] QString description() const override { return m_message; }

private:
    QString m_message;
};

// The request did not complete: no connection, TLS failure, time-out, dropped connection.
class TransportError final : public ServiceError
{
public:
    TransportError(QNetworkReply::NetworkError code, QString text)
        : m_code(code)
        , m_text(std::move(text))
    {}
    [[nodiscard]] QNetworkReply::NetworkError code() const { return m_code; }
    [[nodiscard]] QString description() const override { return m_text; }

private:
    QNetworkReply::NetworkError m_code;
    QString m_text;
};

// A success reply that could not be read as the expected record.
class DecodingError final : public ServiceError
{
public:
    enum class Kind { KeyNotFound, ValueNotFound, TypeMismatch, DataCorrupted };
    DecodingError(Kind kind, QString codingPath, QString detail)
        : m_kind(kind)
        , m_codingPath(std::move(codingPath))
        , m_detail(std::move(detail))
    {}
    [[nodiscard]] Kind kind() const { return m_kind; }
    // Dotted path of the offending value, e.g. "transactions[3].created_at"; empty for the top level.
    [[nodiscard]] QString codingPath() const { return m_codingPath; }
    // What went wrong at that path; for a bad date exactly "Bad date: " + the text as received.
    [[nodiscard]] QString detail() const { return m_detail; }
    // A bad date describes itself by its detail alone; other kinds name the kind and the path too.
    [[nodiscard]] QString description() const override;

private:
    Kind m_kind;
    QString m_codingPath;
    QString m_detail;
};

// The request body could not be written as JSON (a non-finite number); nothing was sent.
class EncodingError final : public ServiceError
{
public:
    explicit EncodingError(QString detail)
        : m_detail(std::move(detail))
    {}
    [[nodiscard]] QString description() const override { return m_detail; }

private:
    QString m_detail;
};

// The caller cancelled the operation; nothing more is sent.
class CancellationError final : public ServiceError
{
public:
    [[nodiscard]] QString description() const override;
};

// The description of whatever an operation threw, for a message line.
QString errorDescription(const std::exception &error);
