// Tavix CallerID: a text link that acts like a button: one Tab stop, Enter or Space follows it.
#pragma once

#include <QLabel>

// Shows its text as one link; activated() when it is clicked or, with the focus, when Enter,
// Return or Space is pressed. The focus is drawn around the text.
class LinkLabel : public QLabel
{
    Q_OBJECT

  public:
    explicit LinkLabel(QWidget* parent = nullptr);

    // The text, shown as a link.
    void setLinkText(const QString& text);
    QString linkText() const { return m_text; }

  signals:
    void activated();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    QString m_text;
};
