// Tavix CallerID: the message boxes the windows show.
#pragma once

#include <QPointer>
#include <QString>

class QMessageBox;
class QWidget;

// Every box a window shows goes through here, so that tests can take them without blocking.
class MessageBoxes
{
  public:
    virtual ~MessageBoxes();
    // A single OK button; returns when the user has closed the box.
    virtual void information(QWidget* parent, const QString& title, const QString& text);
    virtual void warning(QWidget* parent, const QString& title, const QString& text);
    // Yes and No, No the default; true for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text);

    // A warning that does not wait: the program goes on while it is shown. A new notice replaces
    // the one shown.
    virtual void showNotice(QWidget* parent, const QString& title, const QString& text);
    virtual void closeNotice();

  private:
    QPointer<QMessageBox> m_notice;
};
