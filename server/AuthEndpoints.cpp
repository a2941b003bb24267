// SPDX-License-Identifier: MIT
#include "server/AuthEndpoints.h"

#include "server/AccountStore.h"
#include "server/Crypto.h"
#include "server/InputRules.h"
#include "server/Outbox.h"

#include <QDateTime>
#include <QFuture>
#include <QtConcurrent>

namespace AuthEndpoints {

namespace {

const QString wrongCredentials = QStringLiteral("Wrong user name or password.");

ApiReply fail(int status, const QString &message)
{
    return ApiReply::error(status, message);
}

void finishWith(const ExchangePtr &exchange, ApiReply reply)
{
    exchange->finish([&reply] { return reply; });
}

QJsonObject userObject(ServiceContext &ctx, qint64 userId)
{
    const auto account = ctx.accounts.byId(userId);
    if (!account)
        throw DatabaseError("the account vanished");
    return account->toJson();
}

// The account's new code, "mailed" once the transaction has committed.
ApiReply withNewCode(ServiceContext &ctx, const Account &account, const QString &code,
                     const QByteArray &codeHash, ApiReply reply)
{
    ctx.accounts.setCode(account.id, codeHash, QDateTime::currentMSecsSinceEpoch() + codeLifetimeMs);
    Outbox *outbox = &ctx.outbox;
    reply.afterCommit = [outbox, username = account.username, email = account.email, code] {
        outbox->sendCode(username, email, code);
    };
    return reply;
}

struct Hashes
{
    QByteArray password;
    QByteArray code;
};

ApiReply noValidCode()
{
    return fail(400, QStringLiteral("There is no valid code for this account; ask for a new one."));
}

ApiReply alreadyVerified()
{
    return fail(400, QStringLiteral("Your e-mail address is already verified."));
}

ApiReply outOfMemory()
{
    return fail(503, QStringLiteral("The service is out of memory; try again later."));
}

} // namespace

void registerUser(ServiceContext &ctx, const ExchangePtr &exchange)
{
    BodyReader body(exchange->request().body);
    const QString username = body.string("username");
    const QString email = body.string("email");
    const QString password = body.string("password");
    QString problem = body.ok() ? InputRules::checkUsername(username) : QString();
    if (problem.isEmpty() && body.ok())
        problem = InputRules::checkEmail(email);
    if (problem.isEmpty() && body.ok())
        problem = InputRules::checkPassword(password);
    if (!body.ok() || !problem.isEmpty()) {
        finishWith(exchange, body.ok() ? fail(400, problem) : body.errorReply());
        return;
    }
    if (ctx.accounts.byName(username)) { // asked again after hashing: the name may go meanwhile
        finishWith(exchange,
                   fail(409, QStringLiteral("The user name \"%1\" is already taken.").arg(username)));
        return;
    }
    const QString code = Crypto::randomDigits(6, false);
    QtConcurrent::run([password, code] {
        return Hashes{Crypto::hashPassword(password), Crypto::hashPassword(code)};
    }).then(ctx.eventContext, [&ctx, exchange, username, email, code](const Hashes &hashes) {
        exchange->finish([&] {
            if (hashes.password.isEmpty() || hashes.code.isEmpty())
                return outOfMemory();
            if (ctx.accounts.byName(username))
                return fail(409, QStringLiteral("The user name \"%1\" is already taken.").arg(username));
            const qint64 id = ctx.accounts.create(username, email, hashes.password, ctx.startingBalance);
            const QString token = exchange->newToken();
            ctx.accounts.addToken(id, token);
            const auto account = ctx.accounts.byId(id);
            ApiReply reply = withNewCode(ctx, *account, code, hashes.code, {});
            reply.body = {{QStringLiteral("token"), token}, {QStringLiteral("user"), userObject(ctx, id)}};
            return reply;
        });
    });
}

void login(ServiceContext &ctx, const ExchangePtr &exchange)
{
    BodyReader body(exchange->request().body);
    const QString username = body.string("username");
    const QString password = body.string("password");
    if (!body.ok()) {
        finishWith(exchange, body.errorReply());
        return;
    }
    const auto account = ctx.accounts.byName(username);
    if (!account) {
        finishWith(exchange, fail(401, wrongCredentials));
        return;
    }
    QtConcurrent::run(&Crypto::verifyPassword, account->passwordHash, password)
        .then(ctx.eventContext,
              [&ctx, exchange, id = account->id, hash = account->passwordHash](bool matches) {
                  exchange->finish([&] {
                      // A reset that landed while the password was being checked wins.
                      const auto now = ctx.accounts.byId(id);
                      if (!matches || !now || now->passwordHash != hash)
                          return fail(401, wrongCredentials);
                      const QString token = exchange->newToken();
                      ctx.accounts.addToken(id, token);
                      return ApiReply::ok(
                          {{QStringLiteral("token"), token}, {QStringLiteral("user"), now->toJson()}});
                  });
              });
}

void verifyEmail(ServiceContext &ctx, const ExchangePtr &exchange)
{
    BodyReader body(exchange->request().body);
    const QString code = body.string("code");
    if (!body.ok()) {
        finishWith(exchange, body.errorReply());
        return;
    }
    const auto account = ctx.accounts.byId(*exchange->userId());
    if (!account)
        throw DatabaseError("the account vanished");
    if (account->verified) {
        finishWith(exchange, ApiReply::message(QStringLiteral("Your e-mail address is already verified.")));
        return;
    }
    if (account->codeHash.isEmpty()) {
        finishWith(exchange, noValidCode());
        return;
    }
    if (QDateTime::currentMSecsSinceEpoch() > account->codeExpires) {
        exchange->finish([&ctx, id = account->id] {
            ctx.accounts.recordWrongCode(id, true);
            return fail(400, QStringLiteral("The code has expired; ask for a new one."));
        });
        return;
    }
    QtConcurrent::run(&Crypto::verifyPassword, account->codeHash, code)
        .then(ctx.eventContext, [&ctx, exchange, id = account->id, hash = account->codeHash](bool matches) {
            exchange->finish([&] {
                // Judged on the account as it is now: other tries or a new code may have landed
                // while this one was being checked.
                const auto now = ctx.accounts.byId(id);
                if (!now)
                    throw DatabaseError("the account vanished");
                if (now->verified)
                    return ApiReply::message(QStringLiteral("Your e-mail address is already verified."));
                if (now->codeHash.isEmpty())
                    return noValidCode();
                if (now->codeHash != hash)
                    return fail(400, QStringLiteral(
                                         "A newer code has been sent; enter the one from the latest mail."));
                if (!matches) {
                    const int left = maxWrongCodes - now->codeFailures - 1;
                    ctx.accounts.recordWrongCode(id, left <= 0);
                    if (left <= 0)
                        return fail(400, QStringLiteral("Wrong code. That was the fifth wrong code, so it no "
                                                        "longer works; ask for a new one."));
                    return fail(400, QStringLiteral("Wrong code; %1 more %2 left.")
                                         .arg(left)
                                         .arg(left == 1 ? "try" : "tries"));
                }
                ctx.accounts.markVerified(id);
                return ApiReply::message(QStringLiteral("Your e-mail address is verified."));
            });
        });
}

void resendVerification(ServiceContext &ctx, const ExchangePtr &exchange)
{
    const auto account = ctx.accounts.byId(*exchange->userId());
    if (!account)
        throw DatabaseError("the account vanished");
    if (account->verified) {
        finishWith(exchange, alreadyVerified());
        return;
    }
    const QString code = Crypto::randomDigits(6, false);
    QtConcurrent::run(&Crypto::hashPassword, code)
        .then(ctx.eventContext, [&ctx, exchange, code](const QByteArray &hash) {
            exchange->finish([&] {
                if (hash.isEmpty())
                    return outOfMemory();
                const auto now = ctx.accounts.byId(*exchange->userId());
                if (!now)
                    throw DatabaseError("the account vanished");
                if (now->verified)
                    return alreadyVerified();
                return withNewCode(
                    ctx, *now, code, hash,
                    ApiReply::message(QStringLiteral("A new code was sent to %1.").arg(now->email)));
            });
        });
}

void me(ServiceContext &ctx, const ExchangePtr &exchange)
{
    exchange->finish([&ctx, exchange] {
        return ApiReply::ok({{QStringLiteral("user"), userObject(ctx, *exchange->userId())}});
    });
}

void resetPassword(ServiceContext &ctx, const ExchangePtr &exchange)
{
    BodyReader body(exchange->request().body);
    const QString username = body.string("username");
    const QString secret = body.string("resetSecret");
    const QString password = body.string("newPassword");
    if (!body.ok()) {
        finishWith(exchange, body.errorReply());
        return;
    }
    if (!Crypto::equalConstantTime(secret.toUtf8(), ctx.resetSecret)) {
        finishWith(exchange, fail(403, QStringLiteral("The reset secret is wrong.")));
        return;
    }
    if (const QString problem = InputRules::checkPassword(password); !problem.isEmpty()) {
        finishWith(exchange, fail(400, problem));
        return;
    }
    QtConcurrent::run(&Crypto::hashPassword, password)
        .then(ctx.eventContext, [&ctx, exchange, username](const QByteArray &hash) {
            exchange->finish([&] {
                if (hash.isEmpty())
                    return outOfMemory();
                const auto account = ctx.accounts.byName(username);
                if (!account)
                    return fail(404, QStringLiteral("There is no user named \"%1\".").arg(username));
                ctx.accounts.setPasswordHash(account->id, hash);
                ctx.accounts.revokeTokens(account->id);
                return ApiReply::message(QStringLiteral("The password was reset; sign in with the new one."));
            });
        });
}

} // namespace AuthEndpoints
