#include "accessibility.h"

#include "clickable.h"
#include "gauge.h"
#include "label.h"
#include "picturebox.h"

#include <QAccessibleWidget>

namespace {

// The command a panel stands for, as its picture's tooltip names it; empty for the header band.
QString commandOf(QWidget *panel)
{
    const auto *picture = panel->findChild<TImage *>(QString(), Qt::FindDirectChildrenOnly);
    return picture ? picture->toolTip() : QString();
}

class PanelInterface final : public QAccessibleWidget {
public:
    explicit PanelInterface(TPanel *panel)
        : QAccessibleWidget(panel, commandOf(panel).isEmpty() ? QAccessible::Pane : QAccessible::Button)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && role() == QAccessible::Button)
            return commandOf(widget());
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override
    {
        return role() == QAccessible::Button ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && role() == QAccessible::Button)
            emit static_cast<TPanel *>(widget())->OnClick();
        else
            QAccessibleWidget::doAction(name);
    }
};

class PictureInterface final : public QAccessibleWidget {
public:
    explicit PictureInterface(TImage *picture) : QAccessibleWidget(picture, QAccessible::Graphic) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? widget()->toolTip() : QAccessibleWidget::text(t);
    }
};

class GaugeInterface final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeInterface(TGauge *gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return QStringLiteral("%1%").arg(gauge()->PercentDone());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return gauge()->Progress(); }
    void setCurrentValue(const QVariant &) override {} // shows progress; nobody sets it from outside
    QVariant maximumValue() const override { return gauge()->MaxValue(); }
    QVariant minimumValue() const override { return gauge()->MinValue(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    TGauge *gauge() const { return static_cast<TGauge *>(widget()); }
};

class LabelInterface final : public QAccessibleWidget {
public:
    explicit LabelInterface(TLabel *label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return label()->text();
        return QAccessibleWidget::text(t);
    }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        auto all = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && label()->buddy())
            all.append({QAccessible::queryAccessibleInterface(label()->buddy()), QAccessible::Labelled});
        return all;
    }

private:
    TLabel *label() const { return static_cast<TLabel *>(widget()); }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TPanel"))
        return new PanelInterface(static_cast<TPanel *>(object));
    if (className == QLatin1String("TImage"))
        return new PictureInterface(static_cast<TImage *>(object));
    if (className == QLatin1String("TGauge"))
        return new GaugeInterface(static_cast<TGauge *>(object));
    if (className == QLatin1String("TLabel"))
        return new LabelInterface(static_cast<TLabel *>(object));
    return nullptr;
}

} // namespace

namespace accessibility {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace accessibility
