// Tavix CallerID: main, the program's own window: logo, line lamps and the login box.
#include "ui/MainWindow.h"

#include "monitor/CallerIdCore.h"
#include "notify/LoginStore.h"
#include "ui/Artwork.h"
#include "ui/LinkLabel.h"
#include "ui/MessageBoxes.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <exception>
#include <utility>

namespace {

QFont formFont()
{
    // Away from Windows, a font with Arial's metrics keeps the texts inside their controls.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(9.75);
    return font;
}

QString title()
{
    return QString::fromLatin1(MainWindow::kTitle);
}

} // namespace

MainWindow::MainWindow(CallerIdCore& core, MessageBoxes& boxes) : m_core(core), m_boxes(boxes)
{
    // Not in the middle of what found it, which may be start-up or an event.
    connect(&m_core, &CallerIdCore::settingsProblem, this, &MainWindow::warn, Qt::QueuedConnection);
    setObjectName(QStringLiteral("main"));
    setWindowTitle(title());
    setWindowIcon(QGuiApplication::windowIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    // The design's 3960 x 3750, with one row below the help text for the calls list and the
    // settings.
    setFixedSize(twipsToPixels(3960), twipsToPixels(4200));
    createControls();
    connect(&m_core, &CallerIdCore::lampSwitched, this, &MainWindow::showLamp);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(QStyle::alignedRect(layoutDirection(), Qt::AlignCenter, size(),
                                 screen->availableGeometry())
                 .topLeft());
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    auto* logo = place(new QLabel(this), QStringLiteral("Image1"), twipsRect(743, 120, 2475, 900));
    logo->setPixmap(Artwork::logo());

    auto* lineLabel = place(new QLabel(QStringLiteral("Line"), this),
                            QStringLiteral("lblLineNumber"), twipsRect(240, 1320, 975, 375));
    lineLabel->setFont(formFont());

    // The lamp arrays OffLights(i) and OnLights(i) become objects named OffLights0..3 and
    // OnLights0..3: an object name cannot hold an index in brackets.
    const QPixmap unlit = Artwork::lamp(false);
    const QPixmap lit = Artwork::lamp(true);
    for (int i = 0; i < kLineCount; ++i) {
        const QRect spot = twipsRect(1440 + 600 * i, 1200, 450, 465);
        place(new QLabel(this), QStringLiteral("OffLights%1").arg(i), spot)->setPixmap(unlit);
    }
    // Made after the unlit lamps, so each lit lamp lies above the unlit one of its line.
    for (int i = 0; i < kLineCount; ++i) {
        const QRect spot = twipsRect(1440 + 600 * i, 1200, 450, 465);
        QLabel* lamp = place(new QLabel(this), QStringLiteral("OnLights%1").arg(i), spot);
        lamp->setPixmap(lit);
        lamp->setVisible(m_core.lampLit(i));
        m_onLights[static_cast<size_t>(i)] = lamp;
    }

    place(new QLabel(QStringLiteral("Username"), this), QStringLiteral("lblUsername"),
          twipsRect(240, 1800, 975, 375))
        ->setFont(formFont());
    m_username =
        place(new QLineEdit(this), QStringLiteral("tbUsername"), twipsRect(1440, 1800, 1455, 345));
    m_username->setFont(formFont());
    auto* save = place(new QPushButton(QStringLiteral("SAVE"), this),
                       QStringLiteral("btnSaveLogin"), twipsRect(3000, 1800, 735, 855));
    connect(save, &QPushButton::clicked, this, &MainWindow::saveLogin);
    place(new QLabel(QStringLiteral("Password"), this), QStringLiteral("lblPassword"),
          twipsRect(240, 2280, 975, 375))
        ->setFont(formFont());
    m_password =
        place(new QLineEdit(this), QStringLiteral("tbPassword"), twipsRect(1440, 2280, 1455, 345));
    m_password->setFont(formFont());
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42")); // '*'

    auto* help = place(new QLabel(QString::fromLatin1(kHelpText), this), QStringLiteral("lblHelp"),
                       twipsRect(240, 2760, 3495, 975));
    // The help text keeps the window's default size, a little smaller than the login box's.
    QFont helpFont = formFont();
    helpFont.setPointSizeF(8);
    help->setFont(helpFont);
    help->setWordWrap(true);
    help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette greyText = help->palette();
    greyText.setColor(QPalette::WindowText,
                      greyText.color(QPalette::Disabled, QPalette::WindowText));
    help->setPalette(greyText);

    // Nothing shows it; its click would bring back a closed Form1.
    auto* debug = place(new QPushButton(QStringLiteral("Show Debug"), this),
                        QStringLiteral("showDebugForm"), twipsRect(2400, 3360, 1215, 315));
    debug->hide();
    connect(debug, &QPushButton::clicked, this, &MainWindow::diagnosticsWanted);

    m_callsLink = addLink(QStringLiteral("lblCalls"), twipsRect(240, 3780, 2295, 315));
    connect(m_callsLink, &LinkLabel::activated, this, &MainWindow::callsWanted);
    setMissedCalls(0);
    LinkLabel* settings = addLink(QStringLiteral("lblSettings"), twipsRect(2640, 3780, 1095, 315));
    settings->setLinkText(QStringLiteral("Settings\u2026"));
    connect(settings, &LinkLabel::activated, this, &MainWindow::settingsWanted);

    setTabOrder(m_username, m_password);
    setTabOrder(m_password, save);
    setTabOrder(save, m_callsLink);
    setTabOrder(m_callsLink, settings);
    m_username->setFocus();
}

LinkLabel* MainWindow::addLink(const QString& name, const QRect& geometry)
{
    auto* link = place(new LinkLabel(this), name, geometry);
    QFont font = formFont();
    font.setPointSizeF(8);
    link->setFont(font);
    return link;
}

void MainWindow::setMissedCalls(int count)
{
    const QString calls = QStringLiteral("Calls\u2026");
    if (count <= 0)
        m_callsLink->setLinkText(calls);
    else if (count == 1)
        m_callsLink->setLinkText(QStringLiteral("1 missed call \u2014 ") + calls);
    else
        m_callsLink->setLinkText(QStringLiteral("%1 missed calls \u2014 ").arg(count) + calls);
}

void MainWindow::load()
{
    m_loaded = true;
    const QString problem = m_core.loadSettings();
    if (!problem.isEmpty()) {
        // Shown once start-up is over: a box now would run device events in the middle of it.
        const QString text =
            problem + QStringLiteral("\n\nThe login and the web application's host were "
                                     "not loaded. SAVE leaves the file as it is until it "
                                     "is corrected or removed.");
        QMetaObject::invokeMethod(
            this, [this, text] { warn(text); }, Qt::QueuedConnection);
    }
    showLogin();
}

void MainWindow::showLogin()
{
    m_username->setText(m_core.LoginUser());
    m_password->setText(m_core.LoginPassword());
}

void MainWindow::saveLogin()
{
    try {
        m_core.saveLogin(m_username->text(), m_password->text());
        // The boxes then show what the store really holds.
        showLogin();
    } catch (const SettingsError& error) {
        warn(QString::fromStdString(error.what()));
        return;
    }
    m_boxes.information(this, title(), QStringLiteral("Saved Successfully"));
}

void MainWindow::showLamp(int line, bool lit)
{
    m_onLights[static_cast<size_t>(line)]->setVisible(lit);
}

void MainWindow::unload()
{
    if (!std::exchange(m_loaded, false))
        return;
    try {
        m_core.switchOffCurrentLine();
    } catch (const std::exception& error) {
        warn(QString::fromStdString(error.what()));
    }
    emit diagnosticsUnloadWanted();
    // The program ends now, not when the web application answers.
    m_core.abandonPendingCalls();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void MainWindow::warn(const QString& text)
{
    m_boxes.warning(this, title(), text);
}
