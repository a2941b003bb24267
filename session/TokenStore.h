// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace QKeychain {
class Job;
}

// The owner-only settings file that keeps the token where no secret store answers: the string
// under "qlx_token" (organisation "Quorl", application "Quorl Bank"), mode 0600 from its first
// write. Every call goes straight to the file.
namespace TokenFile {

[[nodiscard]] std::optional<QString> read();
// A value stores it (an empty string included); nullopt removes the key and never creates the file.
void write(const std::optional<QString> &token);

} // namespace TokenFile

// The bearer token kept between runs: in the desktop's secret store (Secret Service or KWallet,
// through QtKeychain) as the plain token under "qlx_token", service "Quorl Bank"; in TokenFile
// where no secret store answers.
//
// The current token lives here in memory. The stores are read once, by load(), and written after
// each change in the background, one call at a time and in order (only the latest value is
// written). A keyring call that fails, or takes longer than the time limit (a locked store whose
// prompt is not answered), is given up: for the rest of the run the file keeps the token, and the
// next run that reaches the keyring moves it there. Without a session bus the keyring is not
// asked at all and every call completes at once.
class TokenStore : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultTimeLimit{30'000};

    explicit TokenStore(QObject *parent = nullptr,
                        std::chrono::milliseconds keyringTimeLimit = defaultTimeLimit);
    ~TokenStore() override;

    // The stored token: the keyring's, or the file's, which is the newer one and is moved into the
    // keyring when that answers. It becomes the current token unless setToken() came first.
    QCoro::Task<std::optional<QString>> load();

    [[nodiscard]] const std::optional<QString> &token() const { return m_token; }
    // The current token at once; the stores follow.
    void setToken(const std::optional<QString> &token);

    // Whether the keyring is still used in this run.
    [[nodiscard]] bool usesKeyring() const { return m_useKeyring; }
    // Completes once every change so far has reached a store.
    QCoro::Task<void> settled();

Q_SIGNALS:
    void wroteAll();

private:
    enum class Outcome { Done, NotFound, Failed };
    struct Answer
    {
        Outcome outcome;
        QString text;
    };

    QCoro::Task<Answer> runKeyringJob(QKeychain::Job *job);
    QCoro::Task<void> persist(std::optional<QString> token);
    QCoro::Task<void> writePending();

    std::chrono::milliseconds m_timeLimit;
    bool m_useKeyring;
    std::optional<QString> m_token;
    bool m_changed = false; // setToken() was called: a late load() must not replace the token
    std::optional<std::optional<QString>> m_pending; // the value still to be written, if any
    bool m_writing = false;                          // load() or writePending() is at work
};
