// SPDX-License-Identifier: MIT
// The strict reading rules of success replies and error bodies.
#include "service/ReplyReader.h"

#include <QTest>

class TestReplyReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placeholder() { QVERIFY(ReplyReader::parseDate("2025-03-01T10:15:30.123Z").isValid()); }
};

QTEST_GUILESS_MAIN(TestReplyReader)
#include "tst_replyreader.moc"
