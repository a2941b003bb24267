// SPDX-License-Identifier: MIT
#include "server/Crypto.h"
#include "server/Service.h"
#include "server/ServiceOptions.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quorl-service"_qs);
    QCoreApplication::setApplicationVersion(u"0.1"_qs);

    QString error;
    const auto options = ServiceOptions::parse(QCoreApplication::arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "quorl-service: %s (see --help)\n", qPrintable(error));
        return 2;
    }
    if (!Crypto::initialize()) {
        std::fprintf(stderr, "quorl-service: libsodium could not be initialised\n");
        return 1;
    }
    Service service;
    if (!service.start(*options, &error)) {
        std::fprintf(stderr, "quorl-service: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Quorl Bank local service\n"
                "  address:      https://localhost:%u/api (127.0.0.1 and ::1)\n"
                "  data:         %s\n"
                "  outbox:       %s\n"
                "  reset secret: %s\n"
                "Verification codes are printed below as they are mailed.\n",
                unsigned(service.port()), qPrintable(options->dataDir), qPrintable(service.outboxFolder()),
                qPrintable(service.resetSecret()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}
