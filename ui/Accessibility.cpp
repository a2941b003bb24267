// SPDX-License-Identifier: MIT
#include "ui/Accessibility.h"

#include <QAccessible>
#include <QQuickItem>
#include <QtQuick/private/qaccessiblequickitem_p.h>
#include <QtQuick/private/qquickitem_p.h>

namespace {

// Qt Quick's own item interface, with one state more: Qt Quick 6.4 reports every item as enabled.
class AccessibleItem : public QAccessibleQuickItem
{
public:
    explicit AccessibleItem(QQuickItem *item)
        : QAccessibleQuickItem(item)
    {
        QObject::connect(item, &QQuickItem::enabledChanged, item, [item] {
            QAccessible::State changed;
            changed.disabled = true;
            QAccessibleStateChangeEvent event(item, changed);
            QAccessible::updateAccessibility(&event);
        });
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleQuickItem::state();
        if (!item()->isEnabled())
            state.disabled = true;
        return state;
    }
};

// Answers where Qt Quick's factory would (the class QQuickItem, for items that take part in
// accessibility); installed after it, so asked first.
QAccessibleInterface *itemFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("QQuickItem"))
        return nullptr;
    auto *item = qobject_cast<QQuickItem *>(object);
    if (!item || !QQuickItemPrivate::get(item)->isAccessible)
        return nullptr;
    return new AccessibleItem(item);
}

} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(itemFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
