// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"
#include "service/Cancellation.h"
#include "service/ServiceOptions.h"

#include <QByteArray>
#include <QCoroTask>
#include <QUrl>

#include <chrono>
#include <memory>

class QNetworkAccessManager;

// The one HTTP client of the service. Every operation sends one request (and at most one retry,
// after a pause, when the first attempt failed in transport or its success reply was unreadable),
// reads the success reply strictly into a record off the UI thread, and throws a ServiceError:
// AppError for any reply with status 400 or above, otherwise TransportError, DecodingError,
// EncodingError or CancellationError. POST operations carry one Idempotency-Key per call, the
// same on both attempts.
//
// Operations must be started on the thread that owns the instance (the UI thread for shared()).
class APIService
{
public:
    using Options = ServiceOptions;

    // The process-wide instance: the built-in base address, extra CAs and the 2-second pause.
    static APIService &shared();

    // Instances of their own are for tests, pointed at a local fake of the service.
    explicit APIService(Options options);
    ~APIService(); // operations still running end with CancellationError

    APIService(const APIService &) = delete;
    APIService &operator=(const APIService &) = delete;

    [[nodiscard]] QUrl base() const;

    // Starts loading the HTTPS libraries on a worker thread, so that the first request need not
    // wait for them. Requests do this themselves when it has not been done.
    static void preload();
    // Has the C library map every block of 1 MiB or more on its own, so that a long reply's body,
    // the reader's buffers and a replaced list go back to the system as soon as they are freed.
    // (By default the limit rises to the size of the largest such block freed so far, and later
    // long replies then stay resident in the heap after they are freed.) Call once, first thing in
    // main().
    static void returnLargeBlocksWhenFreed();

    QCoro::Task<AuthResponse> registerUser(QString username, QString email, QString password,
                                           CancelToken cancel = {});
    QCoro::Task<AuthResponse> login(QString username, QString password, CancelToken cancel = {});
    QCoro::Task<void> verifyEmail(QString code, QString token, CancelToken cancel = {});
    QCoro::Task<void> resendVerification(QString token, CancelToken cancel = {});
    QCoro::Task<APIUser> me(QString token, CancelToken cancel = {});
    QCoro::Task<SendResponse> send(QString to, double amount, QString note, QString token,
                                   CancelToken cancel = {});
    QCoro::Task<QList<APITransaction>> transactions(QString token, CancelToken cancel = {});
    QCoro::Task<QList<UserResult>> searchUsers(QString query, QString token, CancelToken cancel = {});
    QCoro::Task<void> resetPassword(QString username, QString resetSecret, QString newPassword,
                                    CancelToken cancel = {});

private:
    struct Private;
    std::unique_ptr<Private> d;
};
