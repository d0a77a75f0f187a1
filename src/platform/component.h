// The non-visual component base: an owned QObject with a Name and a Tag.
// The owner (the QObject parent) destroys what it owns.
#pragma once

#include <QObject>
#include <QString>

// Tag of any control or component; stored as the dynamic property "Tag" so
// plain Qt widgets (labels, buttons) carry one too.
int TagOf(const QObject *object);
void SetTagOf(QObject *object, int tag);

class TComponent : public QObject {
    Q_OBJECT
public:
    explicit TComponent(QObject *AOwner);
    ~TComponent() override;

    QString Name() const { return objectName(); }
    void SetName(const QString &name) { setObjectName(name); }
    int Tag() const { return TagOf(this); }
    void SetTag(int tag) { SetTagOf(this, tag); }
};

// The component palette: each component unit's Register() adds its class
// name to a palette page ("QZ"). Kept so a designer or a test can list them.
void RegisterComponents(const QString &page, const QStringList &classNames);
QStringList RegisteredComponents(const QString &page);
