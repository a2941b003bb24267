// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QUrl>

#include <chrono>

// Where the service is and how patiently it is spoken to.
struct ServiceOptions
{
    QUrl base;             // https://host[:port]/api
    QByteArray extraCaPem; // certificates (PEM) trusted besides the system's CAs
    std::chrono::milliseconds retryPause{2000};
    std::chrono::milliseconds requestTimeout{60000};  // no byte moves for this long: give up
    std::chrono::milliseconds exchangeTimeout{90000}; // one attempt may take no longer
    // The system's CAs: a folder of one certificate per file, found under the hash of its subject
    // name (Debian's ca-certificates keeps them so), which the TLS library reads one at a time as
    // a chain needs them. Empty: none.
    QByteArray systemCaPath = "/etc/ssl/certs";
};
