#include "form1.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>
#include <limits>
#include <vector>

#include "accessibility.h"
#include "focus_ring.h"
#include "notice.h"
#include "utf8.h"

namespace pesolane {
namespace {

QColor rgb(std::uint32_t c) { return QColor::fromRgb(QRgb(0xFF000000u | c)); }

QFont fontOf(const RoleStyle& style) {
    QFont font;
    // Liberation Sans has Arial's metrics where Arial itself is missing.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(style.pixelSize);
    font.setWeight(style.bold ? QFont::Bold : QFont::Normal);
    // Whole-pixel advances, as the captions were laid out for: "+ / -" fits its
    // 33-pixel label only so.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QWidget* makeLabel(const ControlSpec& c, const RoleStyle& style, QWidget* parent) {
    auto* label = new QLabel(parent);
    // A refusal is spoken as soon as its label shows; the role must be set
    // before the text, whose first setting fixes the accessible interface.
    if (c.role == Role::ErrorLabel) makeNotification(label);
    label->setText(fromUtf8(c.caption));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(c.role == Role::ErrorLabel ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, rgb(style.back));
    pal.setColor(QPalette::WindowText, rgb(style.text));
    label->setPalette(pal);
    return label;
}

QWidget* makeTextBox(const ControlSpec&, const RoleStyle& style, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setMaxLength(std::numeric_limits<int>::max());  // no length limit on what the operator types
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, rgb(style.back));
    pal.setColor(QPalette::Text, rgb(style.text));
    box->setPalette(pal);
    return box;
}

QWidget* makeButton(const ControlSpec& c, const RoleStyle& style, QWidget* parent) {
    auto* button = new QPushButton(fromUtf8(c.caption), parent);
    button->setAutoDefault(true);  // Enter presses a focused button, like Space
    const QString face = rgb(style.back).name();
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black;"
                                         " border: 1px solid #202020; }"
                                         "QPushButton:focus { border: 2px solid black; }"
                                         "QPushButton:pressed { background-color: %2; }")
                              .arg(face, rgb(style.back).darker(125).name()));
    return button;
}

QWidget* makeLine(const RoleStyle& style, QWidget* parent) {
    auto* line = new QWidget(parent);
    hideFromAssistiveTechnology(line);
    line->setAutoFillBackground(true);
    QPalette pal = line->palette();
    pal.setColor(QPalette::Window, rgb(style.text));
    line->setPalette(pal);
    return line;
}

// A warning that does not block the window: opened, not executed.
QMessageBox* makeAlarm(QWidget* window, const QString& name, const QString& informative) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Pesolane"), QString(), QMessageBox::Ok, window);
    box->setInformativeText(informative);
    box->setObjectName(name);
    return box;
}

}  // namespace

const QString kSearchEntry = QStringLiteral("Chercher l'instrument de pesage…");

QString windowTitleText() { return QString(185, QLatin1Char(' ')) + QStringLiteral("PESOLANE V1.0     01-01-2012"); }

Form1::Form1(QWidget* parent) : QWidget(parent), values(counting_.values) {
    makeAccessibleWindow(this);
    setWindowTitle(windowTitleText());
    setAccessibleName(windowTitleText().simplified());  // without the leading blanks
    setWindowIcon(QIcon(QStringLiteral(":/org.pesolane.Pesolane.png")));
    setFixedSize(kClientWidth, kClientHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, rgb(kWindowBack));
    setPalette(pal);
    setFont(fontOf(styleOf(Role::ErrorLabel)));  // the window font: 12 pt bold

    for (const ControlSpec& c : controlTable()) {
        const RoleStyle& style = styleOf(c.role);
        QWidget* w = nullptr;
        switch (c.kind) {
        case Kind::Label: w = makeLabel(c, style, this); break;
        case Kind::TextBox: w = makeTextBox(c, style, this); break;
        case Kind::Button: {
            w = makeButton(c, style, this);
            connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, [this, id = c.id] { press(id); });
            break;
        }
        case Kind::Line: w = makeLine(style, this); break;
        }
        w->setObjectName(fromUtf8(c.name));
        w->setGeometry(c.rect.x, c.rect.y, c.rect.w, c.rect.h);
        if (c.kind != Kind::Line) w->setFont(fontOf(style));
        if (!c.spoken.empty()) w->setAccessibleName(fromUtf8(c.spoken));
        w->setHidden(!c.atStart);
        widgets_[index(c.id)] = w;
    }

    // Keyboard order: text boxes and buttons by tab index; Qt skips hidden ones.
    std::vector<const ControlSpec*> focusable;
    for (const ControlSpec& c : controlTable())
        if (c.kind == Kind::TextBox || c.kind == Kind::Button) focusable.push_back(&c);
    std::sort(focusable.begin(), focusable.end(), [](auto* a, auto* b) { return a->tab < b->tab; });
    for (std::size_t i = 1; i < focusable.size(); ++i)
        setTabOrder(widget(focusable[i - 1]->id), widget(focusable[i]->id));

    // Exploring a box reads its caption with it. A screen reader names a box
    // by its caption, so the caption's accessible name is the box's name,
    // written for the ear.
    for (const CaptionOf& pair : captionTable()) {
        auto* caption = static_cast<QLabel*>(widget(pair.label));
        caption->setBuddy(widget(pair.box));
        caption->setAccessibleName(fromUtf8(controlOf(pair.box).spoken));
    }

    for (const WeightBox& w : kWeightBoxes) addWeightReading(w.box);
    // F2 names the article counted, Ctrl+P prints the latest result's label,
    // from wherever the focus is in the window.
    articleEntry_ = new QAction(QStringLiteral("Article…"), this);
    articleEntry_->setShortcut(Qt::Key_F2);
    labelEntry_ = new QAction(QStringLiteral("Imprimer l'étiquette"), this);
    labelEntry_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    for (QAction* a : {articleEntry_, labelEntry_}) {
        a->setShortcutContext(Qt::WindowShortcut);
        a->setShortcutVisibleInContextMenu(true);
        addAction(a);
    }
    connect(articleEntry_, &QAction::triggered, this, &Form1::articleWanted);
    connect(labelEntry_, &QAction::triggered, this, &Form1::labelWanted);
    for (const ControlSpec& c : controlTable())
        if (c.kind == Kind::TextBox) addContextMenu(c.id);

    announcer_ = new Announcer(this);
    new FocusRing(this);

    widget(Ctl::TxtPrecision)->setFocus();
}

QString Form1::text(Ctl box) const { return textBox(box)->text(); }

void Form1::setText(Ctl box, const QString& text) { textBox(box)->setText(text); }

void Form1::setText(Ctl box, std::string_view utf8) { setText(box, fromUtf8(utf8)); }

void Form1::setShown(Ctl control, bool shown) {
    QWidget* w = widget(control);
    if (shown && w->isHidden()) shownByPress_.set(index(control));
    if (!shown && !w->isHidden()) hiddenByPress_.set(index(control));
    w->setHidden(!shown);
}

void Form1::setShown(std::initializer_list<Ctl> controls, bool shown) {
    for (Ctl c : controls) setShown(c, shown);
}

bool Form1::isShown(Ctl control) const { return !widget(control)->isHidden(); }

void Form1::onPress(Ctl button, PressHandler handler) { handlers_[index(button)] = std::move(handler); }

void Form1::press(Ctl button) {
    const PressHandler& handler = handlers_[index(button)];
    if (!handler) return;
    const Screen before = screen();
    shownByPress_.reset();
    hiddenByPress_.reset();
    if (notice_) notice_->hide();
    untoldWarning_.clear();
    handler(*this);
    announcer_->pressDone(*this, before, shownByPress_);
    if (!untoldWarning_.isEmpty()) {
        tell(untoldWarning_);
        untoldWarning_.clear();
    }
    emit pressed(button);
}

Screen Form1::screen() const {
    Screen s;
    for (const ControlSpec& c : controlTable()) {
        s.shown[index(c.id)] = isShown(c.id);
        if (c.kind == Kind::TextBox) s.texts[index(c.id)] = text(c.id);
    }
    return s;
}

void Form1::tell(const QString& message) {
    if (!notice_) notice_ = new Notice(this);
    notice_->tell(message);
    announcer_->say(message);
}

void Form1::warn(const QString& warning) {
    if (!untoldWarning_.isEmpty()) untoldWarning_ += QLatin1Char('\n');
    untoldWarning_ += warning;
}

std::string Form1::decimalSeparator() const { return QLocale::system().decimalPoint().toStdString(); }

void Form1::reportOutOfRange() {
    if (!alarm_) {
        alarm_ = makeAlarm(this, QStringLiteral("rangeAlarm"),
                           QStringLiteral("Aucun résultat n'est affiché pour cette étape. Vérifiez les valeurs "
                                          "saisies, puis appuyez de nouveau sur le bouton de l'étape."));
        alarm_->setText(QStringLiteral("Une valeur dépasse les limites du calcul."));
    }
    alarm_->open();
}

void Form1::addWeightReading(Ctl box) {
    QLineEdit* edit = textBox(box);
    auto* read = new QAction(QStringLiteral("Lire le poids"), edit);
    read->setShortcut(Qt::Key_F9);
    read->setShortcutContext(Qt::WidgetShortcut);
    read->setShortcutVisibleInContextMenu(true);  // in the shortcut column, as Qt's own entries
    connect(read, &QAction::triggered, this, [this, box] { emit weightWanted(box); });
    edit->addAction(read);
    auto* search = new QAction(kSearchEntry, edit);
    connect(search, &QAction::triggered, this, &Form1::searchWanted);
    weightEntries_[index(box)] = {read, search};
}

// Every box's menu: Qt's own entries, then the article and the label, then,
// in a weight box, the scale's.
void Form1::addContextMenu(Ctl box) {
    QLineEdit* edit = textBox(box);
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this, [this, edit, box](const QPoint& at) {
        QMenu* menu = edit->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addSeparator();
        menu->addAction(articleEntry_);
        menu->addAction(labelEntry_);
        if (!weightEntries_[index(box)].isEmpty()) {
            menu->addSeparator();
            menu->addActions(weightEntries_[index(box)]);
        }
        menu->popup(edit->mapToGlobal(at));
    });
}

void Form1::putWeight(Ctl box, const QString& weight, const QString& unit) {
    setText(box, weight);
    announcer_->say(fromUtf8(controlOf(box).spoken) + QStringLiteral(" : ") + weight + QLatin1Char(' ') + unit +
                    QLatin1Char('.'));
}

void Form1::reportWeighingFailure(const QString& message, bool offerSearch) {
    if (!weighingAlarm_) {
        weighingAlarm_ = makeAlarm(this, QStringLiteral("weighingAlarm"), QStringLiteral("La case n'a pas changé."));
        weighingAlarm_->setEscapeButton(QMessageBox::Ok);  // Escape and closing still close it
        searchOffer_ = weighingAlarm_->addButton(kSearchEntry, QMessageBox::ActionRole);
        searchOffer_->setObjectName(QStringLiteral("searchOffer"));
        connect(searchOffer_, &QAbstractButton::clicked, this, [this] {
            weighingAlarm_->close();
            emit searchWanted();
        });
    }
    searchOffer_->setVisible(offerSearch);
    weighingAlarm_->setText(message);
    weighingAlarm_->open();
    announcer_->say(message);
}

void Form1::reportRecordFailure(const QString& message) {
    if (!recordAlarm_)
        recordAlarm_ = makeAlarm(this, QStringLiteral("recordAlarm"),
                                 QStringLiteral("Le résultat affiché reste juste ; notez-le à la main."));
    recordAlarm_->setText(message);
    recordAlarm_->open();
    announcer_->say(message);
}

void Form1::reportWeighingUnderWay(Ctl box) {
    const QString message = QStringLiteral("Pesée en cours : attendez la réponse de l'instrument de pesage.");
    QLineEdit* edit = textBox(box);
    QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), message, edit, {}, 3000);
    announcer_->say(message);
}

QLineEdit* Form1::textBox(Ctl box) const {
    Q_ASSERT(controlOf(box).kind == Kind::TextBox);
    return static_cast<QLineEdit*>(widget(box));
}

QPushButton* Form1::button(Ctl button) const {
    Q_ASSERT(controlOf(button).kind == Kind::Button);
    return static_cast<QPushButton*>(widget(button));
}

}  // namespace pesolane
