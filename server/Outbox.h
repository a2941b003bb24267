// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdio>

// "Sends" verification codes: each message is written as one RFC 5322 file into the outbox folder
// (under a unique name, atomically, so a reader never sees half a message) and announced with one
// line on standard output.
class Outbox
{
public:
    explicit Outbox(QString folder, FILE *announce = stdout);

    [[nodiscard]] QString folder() const { return m_folder; }

    // Returns false if the file could not be written (the line is printed all the same).
    bool sendCode(const QString &username, const QString &email, const QString &code);

private:
    QString m_folder;
    FILE *m_announce;
};
