// Tavix CallerID: main, the program's own window: logo, line lamps and the login box.
#include "ui/MainWindow.h"

#include "device/DeviceLibrary.h"
#include "notify/CallNotifier.h"
#include "ui/Artwork.h"
#include "ui/CallerIdApp.h"
#include "ui/DiagnosticsWindow.h"
#include "ui/LedCode.h"
#include "ui/MessageBoxes.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <limits>
#include <stdexcept>
#include <string>
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
    return QString::fromLatin1(CallerIdApp::kTitle);
}

} // namespace

MainWindow::MainWindow(CallerIdApp& app) : m_app(app)
{
    setObjectName(QStringLiteral("main"));
    setWindowTitle(title());
    setWindowIcon(QGuiApplication::windowIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(twipsToPixels(3960), twipsToPixels(3750));
    createControls();
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
        lamp->hide();
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
    connect(debug, &QPushButton::clicked, this, &MainWindow::showDebugForm);

    setTabOrder(m_username, m_password);
    setTabOrder(m_password, save);
    m_username->setFocus();
}

void MainWindow::load()
{
    m_loaded = true;
    LoginStore::Values stored;
    try {
        stored = m_store.read();
    } catch (const SettingsError& error) {
        // Shown once start-up is over: a box now would run device events in the middle of it.
        const QString text = QString::fromStdString(error.what()) +
                             QStringLiteral("\n\nThe login and the web application's host were "
                                            "not loaded. SAVE leaves the file as it is until it "
                                            "is corrected or removed.");
        QMetaObject::invokeMethod(
            this, [this, text] { warn(text); }, Qt::QueuedConnection);
    }
    showLogin(stored.username, stored.password);
    const std::string host =
        stored.host.isEmpty() ? std::string(kDefaultConnectorHost) : stored.host.toStdString();
    m_notifier = std::make_unique<CallNotifier>(m_app.log(), host,
                                                QFile::encodeName(stored.caFile).toStdString());
    connect(m_notifier.get(), &CallNotifier::settingsProblem, this, &MainWindow::warn,
            Qt::QueuedConnection);
}

void MainWindow::LoadLogin()
{
    const LoginStore::Values stored = m_store.read();
    showLogin(stored.username, stored.password);
}

void MainWindow::showLogin(const QString& user, const QString& password)
{
    m_loginUser = user;
    m_loginPassword = password;
    m_username->setText(m_loginUser);
    m_password->setText(m_loginPassword);
}

void MainWindow::saveLogin()
{
    try {
        m_store.saveLogin(m_username->text(), m_password->text());
        // The boxes and the login in memory then show what the store really holds.
        LoadLogin();
    } catch (const SettingsError& error) {
        warn(QString::fromStdString(error.what()));
        return;
    }
    m_app.messageBoxes().information(this, title(), QStringLiteral("Saved Successfully"));
}

void MainWindow::showDebugForm()
{
    try {
        DiagnosticsWindow& form = m_app.loadDiagnosticsWindow();
        form.show();
        form.raise();
        form.activateWindow();
    } catch (const std::exception& error) {
        warn(QString::fromStdString(error.what()));
    }
}

void MainWindow::LightOn(int32_t line)
{
    switchLamp(line, true);
}

void MainWindow::LightOff(int32_t line)
{
    switchLamp(line, false);
}

void MainWindow::switchLamp(int32_t line, bool lit)
{
    m_app.setCurrentLine(line);
    if (line < std::numeric_limits<int16_t>::min() || line > std::numeric_limits<int16_t>::max())
        throw std::overflow_error("Overflow: line " + std::to_string(line) +
                                  " is beyond any lamp index");
    if (line < 0 || line >= kLineCount)
        throw std::out_of_range("There is no lamp for line " + std::to_string(line));
    m_onLights[static_cast<size_t>(line)]->setVisible(lit);
}

void MainWindow::SendCall(const std::string& callerID, const std::string& line)
{
    if (!m_notifier)
        throw std::logic_error("The main window is not loaded: no web notification");
    m_notifier->SendCall(callerID, line, m_loginUser, m_loginPassword);
}

void MainWindow::unload()
{
    if (!std::exchange(m_loaded, false))
        return;
    try {
        m_app.device().AD101_SetLED(m_app.CurrentLine(), LED_OFF);
    } catch (const std::exception& error) {
        warn(QString::fromStdString(error.what()));
    }
    m_app.unloadDiagnosticsWindow();
    // The program ends now, not when the web application answers.
    if (m_notifier)
        m_notifier->abandonPending();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    unload();
    event->accept();
}

void MainWindow::warn(const QString& text)
{
    m_app.messageBoxes().warning(this, title(), text);
}
