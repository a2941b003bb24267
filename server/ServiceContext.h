// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>

class AccountStore;
class Database;
class IdempotencyStore;
class Outbox;
class TransferStore;

// What the endpoints work with. Everything here lives on the thread of the event loop.
struct ServiceContext
{
    Database &db;
    AccountStore &accounts;
    TransferStore &transfers;
    IdempotencyStore &idempotency;
    Outbox &outbox;
    QByteArray resetSecret;
    qint64 startingBalance = 0;      // micro-Quorls
    qint64 tokenLifetimeMs = 0;      // sign-in tokens older than this are refused
    QByteArray serverKey;            // keys the request hashes and the tokens of idempotent sign-ins
    QObject *eventContext = nullptr; // continuations of background work run in its thread
};
