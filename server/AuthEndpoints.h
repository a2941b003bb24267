// SPDX-License-Identifier: MIT
#pragma once

#include "server/Exchange.h"

// Accounts, sign-in, e-mail verification and password reset. Password hashing runs on the thread
// pool; the database work always runs back on the event loop's thread.
namespace AuthEndpoints {

void registerUser(ServiceContext &ctx, const ExchangePtr &exchange);
void login(ServiceContext &ctx, const ExchangePtr &exchange);
void verifyEmail(ServiceContext &ctx, const ExchangePtr &exchange);
void resendVerification(ServiceContext &ctx, const ExchangePtr &exchange);
void me(ServiceContext &ctx, const ExchangePtr &exchange);
void resetPassword(ServiceContext &ctx, const ExchangePtr &exchange);

inline constexpr qint64 codeLifetimeMs = 15 * 60 * 1000;
inline constexpr int maxWrongCodes = 5;

} // namespace AuthEndpoints
