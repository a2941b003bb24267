// SPDX-License-Identifier: MIT
#pragma once

#include "service/ApiTypes.h"

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

// The session's transfer list as a model for ListView: rows are made only for visible delegates,
// so a list of 100,000 transfers costs no per-row objects. Replaced as a whole by the session.
class TransactionModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Owned by AuthService")
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)
public:
    enum Role { IdRole = Qt::UserRole + 1, FromUserRole, ToUserRole, AmountRole, NoteRole, CreatedAtRole };

    explicit TransactionModel(QObject *parent = nullptr);

    void reset(QList<APITransaction> transactions);
    [[nodiscard]] const QList<APITransaction> &transactions() const { return m_items; }

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role) const override;
    [[nodiscard]] QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

private:
    QList<APITransaction> m_items;
};
