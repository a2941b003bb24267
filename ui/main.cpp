// SPDX-License-Identifier: MIT
// The program's entry: one application, one window.
#include "service/APIService.h"
#include "ui/QuorlBankApp.h"

#include <QGuiApplication>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

int main(int argc, char *argv[])
{
    Q_UNUSED(argc);
    APIService::returnLargeBlocksWhenFreed();
    // The program takes no command-line options: Qt sees the program name only.
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QuorlBankApp bank;
    if (!bank.load())
        return 1;
    return app.exec();
}
