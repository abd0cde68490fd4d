// Tavix CallerID: the modal message boxes the windows show.
#include "ui/MessageBoxes.h"

#include <QMessageBox>

void MessageBoxes::information(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::information(parent, title, text, QMessageBox::Ok);
}

void MessageBoxes::warning(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}
