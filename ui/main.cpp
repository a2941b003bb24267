// SPDX-License-Identifier: MIT
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "Quorl Bank: the window is not built yet.\n";
    return 0;
}
