#include "announcer.h"

#include <QStringList>

#include "accessibility.h"
#include "form1.h"
#include "utf8.h"

namespace pesolane {

Announcer::Announcer(QWidget* window) : QWidget(window) {
    setObjectName(QStringLiteral("announcer"));
    makeNotification(this);
    setGeometry(0, 0, 1, 1);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();  // silent until there is something to say
}

void Announcer::pressDone(const Form1& form, const Screen& before, const std::bitset<kControlCount>& shownByPress) {
    bool refused = false;
    for (const ControlSpec& c : controlTable()) {
        if (c.role != Role::ErrorLabel || !form.isShown(c.id)) continue;
        refused = true;
        if (!shownByPress[index(c.id)]) announceAgain(form.widget(c.id));
    }
    if (refused) return;

    // In keyboard order (the table's), with the values as the boxes show them.
    QStringList parts;
    for (const ControlSpec& c : controlTable()) {
        const std::size_t i = index(c.id);
        if (!form.isShown(c.id)) continue;
        const bool result = c.role == Role::ResultBox || c.role == Role::FinalResultBox;
        if (result && (!before.shown[i] || before.texts[i] != form.text(c.id)))
            parts << fromUtf8(c.spoken) + QStringLiteral(" : ") + form.text(c.id);
        if (c.role == Role::StepButton && !before.shown[i]) parts << fromUtf8(c.opens);
    }
    if (!parts.isEmpty()) say(parts.join(QStringLiteral(" ; ")) + QLatin1Char('.'));
}

void Announcer::say(const QString& sentence) {
    setAccessibleName(sentence);
    if (isHidden())
        show();  // shown: spoken
    else
        announceAgain(this);
}

}  // namespace pesolane
