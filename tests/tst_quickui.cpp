// SPDX-License-Identifier: MIT
// Qt Quick tests of the sign-in screen (tests/qml/tst_*.qml), offscreen.
#include "testsupport/IsolatedSettings.h"

#include <QQmlEngine>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(QuorlBankPlugin)

class Setup : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void applicationAvailable()
    {
        // The screens' session reads its token: give it an empty, private store.
        isolateUserStores(m_config.path());
    }

    void qmlEngineAvailable(QQmlEngine *engine) { engine->addImportPath(QStringLiteral("qrc:/")); }

private:
    QTemporaryDir m_config;
};

QUICK_TEST_MAIN_WITH_SETUP(quorl_quickui, Setup)
#include "tst_quickui.moc"
