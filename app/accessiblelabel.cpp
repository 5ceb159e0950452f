#include "app/accessiblelabel.h"

#include "app/controls.h"

#include <QAccessibleWidget>

namespace {

class AccessibleLabel : public QAccessibleWidget
{
public:
    explicit AccessibleLabel(TextLabel *label) : QAccessibleWidget(label, QAccessible::StaticText), m_label(label) {}

    QString text(QAccessible::Text t) const override
    {
        const QString name = m_label->accessibleName();
        if (t == QAccessible::Name)
            return name.isEmpty() ? m_label->text() : name;
        if (t == QAccessible::Description && !name.isEmpty())
            return m_label->text();
        return QAccessibleWidget::text(t);
    }

private:
    TextLabel *m_label;
};

QAccessibleInterface *createAccessibleLabel(const QString &className, QObject *object)
{
    auto *label = qobject_cast<TextLabel *>(object);
    return className == QLatin1String("TextLabel") && label ? new AccessibleLabel(label) : nullptr;
}

} // namespace

void installAccessibleLabels()
{
    // Qt keeps a factory once however often it is installed.
    QAccessible::installFactory(createAccessibleLabel);
}
