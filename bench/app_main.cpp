// SPDX-License-Identifier: MIT
// The program as it starts (QuorlBankApp), reporting its first frame.
#include "bench/FirstFrame.h"
#include "service/APIService.h"
#include "ui/QuorlBankApp.h"

#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

int main(int argc, char *argv[])
{
    APIService::returnLargeBlocksWhenFreed(); // as the program does
    QGuiApplication app(argc, argv);
    QuorlBankApp bank;
    if (!bank.load())
        return 1;
    FirstFrame::reportAndQuit(bank.window());
    return app.exec();
}
