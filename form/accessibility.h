// What a screen reader gets from the window, beyond the names of its
// controls: refusals and results spoken as soon as a press shows them, and
// no separator lines to wade through.
#pragma once

class QWidget;

namespace pesolane {

// Installs the window's accessible interfaces; call before any window is built.
void installAccessibility();

// Gives `widget` the notification role: a screen reader speaks its name (a
// label's text) as soon as it is shown. Call before its first text is set.
void makeNotification(QWidget* widget);

// Keeps `widget` out of the window's accessible children.
void hideFromAssistiveTechnology(QWidget* widget);

// Gives a top-level window the interface that leaves those out.
void makeAccessibleWindow(QWidget* window);

// Speaks a visible notification now, as if it had just been shown.
void announceAgain(QWidget* notification);

}  // namespace pesolane
