// Tavix CallerID: the modal message boxes the windows show.
#pragma once

#include <QString>

class QWidget;

// Every box a window shows goes through here, so that tests can take them without blocking.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // A single OK button; returns when the user has closed the box.
    virtual void information(QWidget* parent, const QString& title, const QString& text);
    virtual void warning(QWidget* parent, const QString& title, const QString& text);
};
