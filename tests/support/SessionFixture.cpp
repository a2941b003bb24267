// SPDX-License-Identifier: MIT
#include "tests/support/SessionFixture.h"

#include "tests/support/Await.h"

void SessionFixture::signIn(bool verified)
{
    fake.enqueue("POST", QStringLiteral("/api/login"), FakeReply::json(200, authJson(verified)));
    fake.setFallback("GET", QStringLiteral("/api/transactions"),
                     FakeReply::json(200, R"({"transactions":[]})"));
    awaitTask(auth.login(QStringLiteral("ann"), QStringLiteral("secret1")));
}
