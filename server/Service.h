// SPDX-License-Identifier: MIT
#pragma once

#include "server/ServiceOptions.h"

#include <QObject>

#include <memory>

// The whole service: data folder, database, stores, router and the HTTPS listener.
class Service : public QObject
{
    Q_OBJECT
public:
    explicit Service(QObject *parent = nullptr);
    ~Service() override;

    // Prepares the data folder and starts listening; on failure, *error says why.
    bool start(const ServiceOptions &options, QString *error);

    [[nodiscard]] quint16 port() const;
    [[nodiscard]] QString resetSecret() const;
    [[nodiscard]] QString outboxFolder() const;

private:
    bool prepareDataFolder(const ServiceOptions &options, QString *error);
    bool listen(const ServiceOptions &options, QString *error);

    struct Private;
    std::unique_ptr<Private> d;
};
