#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QVariant>

namespace pesolane {
namespace {

constexpr const char* kRoleProperty = "pesolaneAccessibleRole";

// What a widget is for assistive technology, beyond Qt's own idea of it.
enum class Spoken : int { AsQtSays, Notification, Hidden, Window };

Spoken spokenAs(const QWidget* w) {
    const QVariant v = w->property(kRoleProperty);
    return v.isValid() ? Spoken(v.toInt()) : Spoken::AsQtSays;
}

void mark(QWidget* w, Spoken s) { w->setProperty(kRoleProperty, int(s)); }

// A control whose name is spoken when it is shown, without taking the focus.
class NotificationInterface : public QAccessibleWidget {
public:
    explicit NotificationInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            if (const auto* label = qobject_cast<const QLabel*>(widget())) return label->text();
            return widget()->accessibleName();
        }
        return QAccessibleWidget::text(t);
    }
};

// The window, whose children are its controls less the ones kept out.
class WindowInterface : public QAccessibleWidget {
public:
    explicit WindowInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}

    int childCount() const override { return int(shownChildren().size()); }

    QAccessibleInterface* child(int index) const override {
        const QWidgetList children = shownChildren();
        return index >= 0 && index < children.size() ? QAccessible::queryAccessibleInterface(children[index])
                                                     : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? int(shownChildren().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QWidgetList shownChildren() const {
        QWidgetList list;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && spokenAs(w) != Spoken::Hidden) list << w;
        }
        return list;
    }
};

QAccessibleInterface* interfaceFor(const QString&, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    switch (spokenAs(w)) {
    case Spoken::Notification: return new NotificationInterface(w);
    case Spoken::Window: return new WindowInterface(w);
    case Spoken::AsQtSays:
    case Spoken::Hidden: break;
    }
    return nullptr;
}

}  // namespace

void installAccessibility() {
    static bool installed = false;
    if (!installed) QAccessible::installFactory(interfaceFor);
    installed = true;
}

void makeNotification(QWidget* widget) { mark(widget, Spoken::Notification); }

void hideFromAssistiveTechnology(QWidget* widget) { mark(widget, Spoken::Hidden); }

void makeAccessibleWindow(QWidget* window) { mark(window, Spoken::Window); }

void announceAgain(QWidget* notification) {
    QAccessibleEvent event(notification, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&event);
}

}  // namespace pesolane
