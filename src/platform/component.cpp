#include "platform/component.h"

#include <QMap>
#include <QStringList>
#include <QVariant>

int TagOf(const QObject *object) {
    return object ? object->property("Tag").toInt() : 0;
}

void SetTagOf(QObject *object, int tag) {
    if (object)
        object->setProperty("Tag", tag);
}

TComponent::TComponent(QObject *AOwner) : QObject(AOwner) {}

TComponent::~TComponent() = default;

namespace {
QMap<QString, QStringList> &Palette() {
    static QMap<QString, QStringList> pages;
    return pages;
}
} // namespace

void RegisterComponents(const QString &page, const QStringList &classNames) {
    QStringList &list = Palette()[page];
    for (const QString &name : classNames)
        if (!list.contains(name))
            list.append(name);
}

QStringList RegisteredComponents(const QString &page) {
    return Palette().value(page);
}
