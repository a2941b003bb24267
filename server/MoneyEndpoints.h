// SPDX-License-Identifier: MIT
#pragma once

#include "server/Exchange.h"

// Transfers, the transfer list and the user search.
namespace MoneyEndpoints {

void send(ServiceContext &ctx, const ExchangePtr &exchange);
void transactions(ServiceContext &ctx, const ExchangePtr &exchange);
void searchUsers(ServiceContext &ctx, const ExchangePtr &exchange);

} // namespace MoneyEndpoints
