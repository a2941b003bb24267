// SPDX-License-Identifier: MIT
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <stdexcept>

// A failed statement; the caller's transaction is rolled back and the request answered with 500.
class DatabaseError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The service's one SQLite connection (WAL journal, full sync, foreign keys on), used only from
// the thread that opened it. Every write happens inside transaction(), so a crash leaves either
// all or nothing of one request's changes.
class Database
{
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens (creating if needed) the database file and brings its tables up to date.
    bool open(const QString &file, QString *error);

    // Runs one statement with positional arguments; throws DatabaseError when it fails.
    QSqlQuery exec(const QString &sql, const QVariantList &args = {});

    void begin();    // BEGIN IMMEDIATE: takes the write lock up front
    void commit();   // throws DatabaseError
    void rollback(); // never throws

    [[nodiscard]] QByteArray meta(const QString &name);
    void setMeta(const QString &name, const QByteArray &value);

private:
    void createTables();
    void upgradeCodes();

    QString m_connection;
    QSqlDatabase m_db;
};
