// Tavix CallerID: the message boxes the windows show.
#include "ui/MessageBoxes.h"

#include <QMessageBox>

MessageBoxes::~MessageBoxes()
{
    closeNotice();
}

void MessageBoxes::information(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void MessageBoxes::warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

bool MessageBoxes::question(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxes::showNotice(QWidget* parent, const QString& title, const QString& text)
{
    closeNotice();
    m_notice = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    m_notice->setWindowModality(Qt::NonModal);
    m_notice->show();
}

void MessageBoxes::closeNotice()
{
    if (m_notice)
        m_notice->close();
}
