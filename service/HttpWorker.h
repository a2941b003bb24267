// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QFuture>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

struct CurlLibrary;

// One HTTP exchange as the worker carries it out: filled in by the caller, then read only.
struct HttpExchange
{
    QByteArray url;
    QByteArrayList headerLines; // "Name: value"
    bool isPost = false;
    QByteArray body;
    // The only certificates the peer may chain to: those in the folder and in the PEM text.
    QByteArray systemCaPath;
    std::shared_ptr<const QByteArray> extraCaPem;
    std::chrono::milliseconds inactivityTimeout{60000}; // counted once a connection is being made
    std::chrono::steady_clock::time_point deadline;     // the exchange ends by then, whatever it is doing
    qint64 bodyLimit = 0;
    qint64 headerLimit = 0; // the header lines of the reply together

    // Set by the caller (any thread) and followed by HttpWorker::wake().
    std::atomic<bool> cancelRequested{false};
};

struct HttpOutcome
{
    enum class End {
        Complete,        // a whole HTTP reply arrived (any status)
        Failed,          // libcurl's result says why
        Cancelled,       // cancelRequested
        Inactive,        // no byte moved for the inactivity time-out
        TimedOut,        // the deadline passed
        TooLarge,        // the body passes the limit, or its announced length does
        HeadersTooLarge, // the header lines pass their limit
        NotHttp,         // what came back does not begin with an HTTP status line
        WouldResend      // the connection failed and the request would have gone out again
    };
    End end = End::Failed;
    int curlCode = 0; // CURLcode
    QString curlText; // libcurl's own words for it
    int status = 0;   // the HTTP status when one arrived
    QByteArray body;
    QByteArray redirectUrl; // for a 3xx with a Location: the absolute target
};

// A thread of its own running libcurl's multi interface: HTTP/1.1 over TLS, keep-alive connections
// (at most six per host), every exchange at most once on the network. libcurl itself sends a
// request a second time when a reused connection turns out to be closed; such an exchange ends as
// WouldResend instead, so that only the caller decides on a retry.
//
// libcurl does not notice that a kept-alive connection is gone when the server's TLS close_notify
// is waiting on it, as it is after most servers close an idle connection. So before a request goes
// out on a reused connection the worker looks at its socket itself: anything to read there means
// the server has closed it, and the request is started again, unsent, on a new connection.
class HttpWorker
{
public:
    // Throws std::bad_alloc or std::system_error when the worker cannot be set up.
    HttpWorker();
    ~HttpWorker(); // release()
    HttpWorker(const HttpWorker &) = delete;
    HttpWorker &operator=(const HttpWorker &) = delete;

    // Ends every exchange still running as Cancelled and waits for the thread; exchanges started
    // afterwards end as Cancelled at once. Safe to call more than once, from any other thread.
    void stop();

    // libcurl, loaded by the first call (the first worker, or an earlier preload off the UI
    // thread); throws std::runtime_error when it cannot be loaded. At the process's exit, before
    // libcurl's and OpenSSL's own exit handlers run, every worker still in existence is stopped
    // and frees its libcurl state, so that a worker may belong to a function-static object.
    static const CurlLibrary &library();

    // Starts the exchange; the future always gets exactly one outcome.
    QFuture<HttpOutcome> start(std::shared_ptr<HttpExchange> exchange);

    // Makes the worker look at cancellation flags now. Safe from any thread.
    void wake();

    struct Running;
    // Which exchange opened each socket libcurl holds (worker thread only).
    using SocketOwners = std::unordered_map<int, quint64>;

private:
    void run();
    void release(); // stop(), then frees libcurl's state; safe to call more than once
    static void releaseAll();

    SocketOwners m_socketOwners;
    std::mutex m_mutex;
    void *m_multi = nullptr;                          // CURLM; guarded by m_mutex outside run()
    std::vector<std::unique_ptr<Running>> m_incoming; // guarded by m_mutex
    bool m_stopping = false;                          // guarded by m_mutex
    std::thread m_thread;
    std::once_flag m_joined;
};
