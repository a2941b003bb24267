// SPDX-License-Identifier: MIT
#include "server/MoneyEndpoints.h"

#include "server/AccountStore.h"
#include "server/Amount.h"
#include "server/InputRules.h"
#include "server/TransferStore.h"

#include <QJsonArray>

namespace MoneyEndpoints {

void send(ServiceContext &ctx, const ExchangePtr &exchange)
{
    exchange->finish([&ctx, exchange] {
        BodyReader body(exchange->request().body);
        const QString to = body.string("to");
        const double amountValue = body.number("amount");
        const QString note = body.string("note");
        if (!body.ok())
            return body.errorReply();
        const auto sender = ctx.accounts.byId(*exchange->userId());
        if (!sender)
            throw DatabaseError("the account vanished");
        if (!sender->verified)
            return ApiReply::error(403, QStringLiteral("Verify your e-mail address before sending Quorls."));
        const Amount::Parsed amount = Amount::fromJson(amountValue);
        if (!amount.micros)
            return ApiReply::error(400, amount.error);
        if (const QString problem = InputRules::checkNote(note); !problem.isEmpty())
            return ApiReply::error(400, problem);
        const auto recipient = ctx.accounts.byName(to);
        if (!recipient)
            return ApiReply::error(404, QStringLiteral("There is no user named \"%1\".").arg(to));
        if (recipient->id == sender->id)
            return ApiReply::error(400, QStringLiteral("You cannot send Quorls to yourself."));

        Transfer made;
        switch (ctx.transfers.transfer(sender->id, recipient->id, *amount.micros, note, &made)) {
        case TransferStore::Outcome::InsufficientBalance:
            return ApiReply::error(
                422,
                QStringLiteral("Insufficient balance: you have %1 ◆.").arg(Amount::toText(sender->balance)));
        case TransferStore::Outcome::Overflow:
            return ApiReply::error(422, QStringLiteral("The recipient's balance cannot take that amount."));
        case TransferStore::Outcome::Done:
            break;
        }
        const auto after = ctx.accounts.byId(sender->id);
        if (!after)
            throw DatabaseError("the account vanished");
        return ApiReply::ok(
            {{QStringLiteral("user"), after->toJson()}, {QStringLiteral("transaction"), made.toJson()}});
    });
}

void transactions(ServiceContext &ctx, const ExchangePtr &exchange)
{
    exchange->finish([&ctx, exchange] {
        QJsonArray list;
        for (const Transfer &t : ctx.transfers.recent(*exchange->userId(), InputRules::maxListedTransfers))
            list.append(t.toJson());
        return ApiReply::ok({{QStringLiteral("transactions"), list}});
    });
}

void searchUsers(ServiceContext &ctx, const ExchangePtr &exchange)
{
    exchange->finish([&ctx, exchange] {
        const QString text = InputRules::searchText(exchange->request().query);
        if (const QString problem = InputRules::checkSearchText(text); !problem.isEmpty())
            return ApiReply::error(400, problem);
        QJsonArray users;
        if (!text.isEmpty()) {
            for (const Account &a : ctx.accounts.search(text, InputRules::maxSearchResults))
                users.append(QJsonObject{{QStringLiteral("username"), a.username},
                                         {QStringLiteral("account_number"), a.accountNumber}});
        }
        return ApiReply::ok({{QStringLiteral("users"), users}});
    });
}

} // namespace MoneyEndpoints
