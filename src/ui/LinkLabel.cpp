// Tavix CallerID: a text link that acts like a button: one Tab stop, Enter or Space follows it.
#include "ui/LinkLabel.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    // The label's own link navigation would take two Tab presses per link.
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QLabel::linkActivated, this, &LinkLabel::activated);
}

void LinkLabel::setLinkText(const QString& text)
{
    m_text = text;
    setText(QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()));
    setAccessibleName(text);
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        emit activated();
        event->accept();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void LinkLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = contentsRect();
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
}
