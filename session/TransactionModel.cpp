// SPDX-License-Identifier: MIT
#include "session/TransactionModel.h"

TransactionModel::TransactionModel(QObject *parent)
    : QAbstractListModel(parent)
{}

void TransactionModel::reset(QList<APITransaction> transactions)
{
    const qsizetype oldCount = m_items.size();
    beginResetModel();
    m_items = std::move(transactions);
    endResetModel();
    if (m_items.size() != oldCount)
        Q_EMIT countChanged();
}

int TransactionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

QVariant TransactionModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const APITransaction &t = m_items.at(index.row());
    switch (role) {
    case IdRole:
        return t.id;
    case FromUserRole:
        return t.fromUser;
    case ToUserRole:
        return t.toUser;
    case AmountRole:
        return t.amount;
    case NoteRole:
        return t.note;
    case CreatedAtRole:
        return t.createdAt;
    default:
        return {};
    }
}

QHash<int, QByteArray> TransactionModel::roleNames() const
{
    return {{IdRole, "id"},         {FromUserRole, "fromUser"}, {ToUserRole, "toUser"},
            {AmountRole, "amount"}, {NoteRole, "note"},         {CreatedAtRole, "createdAt"}};
}
