// Tavix CallerID: the Settings dialog.
#include "ui/SettingsDialog.h"

#include "desktop/LogonStart.h"
#include "desktop/NotificationSetting.h"
#include "notify/CallNotifier.h"
#include "notify/ConnectionCheck.h"
#include "notify/ConnectorHost.h"
#include "notify/LoginStore.h"
#include "ui/MessageBoxes.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(LogonStart& logonStart, bool notificationsOn, MessageBoxes& boxes,
                               QWidget* parent)
    : QDialog(parent), m_logonStart(logonStart), m_boxes(boxes), m_notificationsOn(notificationsOn),
      m_saveWebApplication([](const QString& host, const QString& caFile) {
          LoginStore().saveWebApplication(host, caFile);
      }),
      m_checkTimeout(kRequestTimeout)
{
    setObjectName(QStringLiteral("SettingsDialog"));
    setWindowTitle(QString::fromUtf8(kTitle));

    auto* layout = new QVBoxLayout(this);
    m_sections = new QVBoxLayout;
    layout->addLayout(m_sections);
    // Made first, so that the keyboard reaches it first, as the eye does.
    QGroupBox* webApplication = createWebApplicationSection();
    m_sections->addWidget(createDesktopSection());
    m_sections->insertWidget(0, webApplication);
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SettingsDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

SettingsDialog::~SettingsDialog()
{
    stopCheck();
}

QGroupBox* SettingsDialog::createWebApplicationSection()
{
    auto* group = new QGroupBox(QStringLiteral("Web application"), this);
    group->setObjectName(QStringLiteral("grpWebApplication"));
    auto* layout = new QVBoxLayout(group);
    // Labels left, fields taking the width (the Windows Qt build has no QFormLayout).
    auto* form = new QGridLayout;
    form->setColumnStretch(1, 1);
    layout->addLayout(form);

    LoginStore store;
    LoginStore::WebApplication saved;
    QString everyones;
    try {
        saved = store.readWebApplication();
        everyones = store.everyonesHost();
    } catch (const SettingsError&) {
        // Said at start-up; OK then says why nothing can be saved.
    }
    m_savedHost = saved.host;
    m_savedCaFile = saved.caFile;

    m_host = new QLineEdit(saved.host, group);
    m_host->setObjectName(QStringLiteral("txtHost"));
    m_defaultHost = everyones.isEmpty() ? QString::fromUtf8(kDefaultConnectorHost) : everyones;
    m_host->setPlaceholderText(m_defaultHost.isEmpty()
                                   ? QStringLiteral("for example pos.myshop.example:8443")
                                   : m_defaultHost + QStringLiteral(" (the default)"));
    // Wide enough for a host name with its port.
    m_host->setMinimumWidth(m_host->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 32);
    auto* hostLabel = new QLabel(QStringLiteral("&Host (optionally :port):"), group);
    hostLabel->setBuddy(m_host);
    form->addWidget(hostLabel, 0, 0);
    form->addWidget(m_host, 0, 1);

    if (!everyones.isEmpty()) {
        auto* note = new QLabel(
            QStringLiteral("The installer set %1 as the web application for every user of this "
                           "computer. A host entered here is yours alone and is used instead of "
                           "it; left empty, the installer's is used.")
                .arg(everyones),
            group);
        note->setObjectName(QStringLiteral("lblEveryonesHost"));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        layout->addWidget(note);
    }

    if (kUsesCertificateStore) {
        auto* store = new QLabel(
            QStringLiteral("Certificates are checked against the Windows certificate store. If "
                           "the web application's certificate comes from the shop's own "
                           "authority, install that authority there (Trusted Root Certification "
                           "Authorities)."),
            group);
        store->setObjectName(QStringLiteral("lblCertificateStore"));
        store->setWordWrap(true);
        layout->addWidget(store);
    } else {
        auto* row = new QHBoxLayout;
        m_caFile = new QLineEdit(saved.caFile, group);
        m_caFile->setObjectName(QStringLiteral("txtCaFile"));
        m_caFile->setPlaceholderText(QStringLiteral("none: the system's authorities alone"));
        auto* choose = new QPushButton(QStringLiteral("Ch&oose\u2026"), group);
        choose->setObjectName(QStringLiteral("btnChooseCaFile"));
        connect(choose, &QPushButton::clicked, this, &SettingsDialog::chooseCaFile);
        row->addWidget(m_caFile);
        row->addWidget(choose);
        // A label of a row that is a layout has no buddy of its own.
        auto* label =
            new QLabel(QStringLiteral("Extra certificate &authorities (PEM file):"), group);
        label->setBuddy(m_caFile);
        form->addWidget(label, 1, 0);
        form->addLayout(row, 1, 1);
    }

    auto* checkRow = new QHBoxLayout;
    m_checkButton = new QPushButton(QStringLiteral("Check &connection"), group);
    m_checkButton->setObjectName(QStringLiteral("btnCheckConnection"));
    m_checkButton->setAutoDefault(false);
    m_checkButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_checkButton, &QPushButton::clicked, this, &SettingsDialog::startCheck);
    m_checkProgress = new QProgressBar(group);
    m_checkProgress->setObjectName(QStringLiteral("prgCheck"));
    m_checkProgress->setRange(0, 0); // busy: the steps take what the network takes
    m_checkProgress->setTextVisible(false);
    m_cancelCheckButton = new QPushButton(QStringLiteral("Cancel the check"), group);
    m_cancelCheckButton->setObjectName(QStringLiteral("btnCancelCheck"));
    m_cancelCheckButton->setAutoDefault(false);
    connect(m_cancelCheckButton, &QPushButton::clicked, this, [this] {
        stopCheck();
        showCheckText(QStringLiteral("The check was cancelled."));
    });
    checkRow->addWidget(m_checkButton);
    checkRow->addWidget(m_checkProgress, 1);
    checkRow->addWidget(m_cancelCheckButton);
    checkRow->addStretch();
    layout->addLayout(checkRow);

    m_checkResult = new QLabel(group);
    m_checkResult->setObjectName(QStringLiteral("lblCheckResult"));
    // Names from a server's certificate are shown as text, never read as markup.
    m_checkResult->setTextFormat(Qt::PlainText);
    m_checkResult->setWordWrap(true);
    m_checkResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_checkResult);
    showChecking(false);
    return group;
}

void SettingsDialog::chooseCaFile()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, QStringLiteral("Certificate authorities"), m_caFile->text(),
        QStringLiteral("PEM certificates (*.pem *.crt *.cer);;All files (*)"));
    if (!chosen.isEmpty())
        m_caFile->setText(chosen);
}

QString SettingsDialog::webApplicationProblem() const
{
    const QString host = m_host->text();
    if (!host.isEmpty()) {
        if (const QString problem = ConnectorHost::problem(host); !problem.isEmpty())
            return QStringLiteral("The web application's host \"%1\" cannot be used: %2. Give "
                                  "a host name or an address, optionally with :port (such as "
                                  "pos.myshop.example:8443).")
                .arg(host, problem);
    }
    if (m_caFile && !m_caFile->text().isEmpty()) {
        const std::string problem =
            authorityFileProblem(QFile::encodeName(m_caFile->text()).toStdString());
        if (!problem.empty())
            return QString::fromStdString(problem) + QLatin1Char('.');
    }
    return {};
}

void SettingsDialog::startCheck()
{
    if (const QString problem = webApplicationProblem(); !problem.isEmpty()) {
        showCheckText(problem);
        return;
    }
    // Left empty, the default is what callers are sent to: that is what is checked.
    const QString host = m_host->text().isEmpty() ? m_defaultHost : m_host->text();
    if (host.isEmpty()) {
        showCheckText(QStringLiteral("No host is set: enter the web application's."));
        return;
    }
    stopCheck();
    const std::uint64_t number = ++m_checkNumber;
    m_check = std::make_unique<ConnectionCheck>(
        host.toStdString(), m_caFile ? QFile::encodeName(m_caFile->text()).toStdString() : "",
        [this, number](ConnectionReport report) {
            // On the check's thread: shown on the dialog's, unless the dialog went first.
            QMetaObject::invokeMethod(
                this, [this, number, report] { showCheckResult(number, report); },
                Qt::QueuedConnection);
        },
        m_checkTimeout);
    showCheckText(QStringLiteral("Checking %1\u2026").arg(host));
    showChecking(true);
}

void SettingsDialog::stopCheck()
{
    ++m_checkNumber;
    m_check.reset();
    if (m_checkButton)
        showChecking(false);
}

void SettingsDialog::showCheckResult(std::uint64_t number, const ConnectionReport& report)
{
    if (number != m_checkNumber)
        return;
    m_check.reset();
    showChecking(false);
    showCheckText(QString::fromStdString(report.text()));
}

void SettingsDialog::showCheckText(const QString& text)
{
    m_checkResult->setText(text);
    // A shown dialog does not grow by itself for the lines of a wrapped label.
    m_checkResult->setMinimumHeight(m_checkResult->heightForWidth(m_checkResult->width()));
}

void SettingsDialog::showChecking(bool running)
{
    m_checkButton->setEnabled(!running);
    m_checkProgress->setVisible(running);
    m_cancelCheckButton->setVisible(running);
}

bool SettingsDialog::saveWebApplication()
{
    const QString host = m_host->text();
    const QString caFile = m_caFile ? m_caFile->text() : m_savedCaFile;
    if (host == m_savedHost && caFile == m_savedCaFile)
        return true;
    if (const QString problem = webApplicationProblem(); !problem.isEmpty()) {
        // Both or neither: a good host is not saved beside a file that cannot be used.
        warn(problem + QStringLiteral("\n\nNothing was saved, neither the host nor the "
                                      "certificate authority file."));
        m_host->setFocus();
        return false;
    }
    try {
        m_saveWebApplication(host, caFile);
    } catch (const SettingsError& error) {
        warn(QString::fromStdString(error.what()));
        return false;
    }
    m_savedHost = host;
    m_savedCaFile = caFile;
    return true;
}

QGroupBox* SettingsDialog::createDesktopSection()
{
    auto* group = new QGroupBox(QStringLiteral("On this computer"), this);
    group->setObjectName(QStringLiteral("grpDesktop"));
    auto* layout = new QVBoxLayout(group);

    m_startAtLogon = new QCheckBox(QStringLiteral("Start at log-on"), group);
    m_startAtLogon->setObjectName(QStringLiteral("chkStartAtLogon"));
    layout->addWidget(m_startAtLogon);
    m_startsForEveryone = new QLabel(
        QStringLiteral("The installer has set Tavix CallerID to start for every user of this "
                       "computer. To change that, run the installer again as an administrator."),
        group);
    m_startsForEveryone->setObjectName(QStringLiteral("lblStartsForEveryone"));
    m_startsForEveryone->setWordWrap(true);
    layout->addWidget(m_startsForEveryone);
    showLogonStart();

    m_notifications = new QCheckBox(QStringLiteral("Show a notification for each caller"), group);
    m_notifications->setObjectName(QStringLiteral("chkNotifications"));
    m_notifications->setChecked(m_notificationsOn);
    layout->addWidget(m_notifications);
    return group;
}

void SettingsDialog::showLogonStart()
{
    // The machine-wide entry is the installer's to change: the box shows it, read-only.
    const bool everyone = m_logonStart.startsForEveryone();
    m_startAtLogon->setChecked(everyone || m_logonStart.isEnabled());
    m_startAtLogon->setEnabled(!everyone);
    m_startsForEveryone->setVisible(everyone);
}

void SettingsDialog::accept()
{
    if (!saveWebApplication() || !saveLogonStart() || !saveNotifications())
        return;
    QDialog::accept();
}

void SettingsDialog::done(int result)
{
    // No check outlives the dialog's closing.
    stopCheck();
    QDialog::done(result);
}

bool SettingsDialog::saveLogonStart()
{
    const bool wanted = m_startAtLogon->isChecked();
    if (!m_startAtLogon->isEnabled() || wanted == m_logonStart.isEnabled())
        return true;
    try {
        m_logonStart.setEnabled(wanted);
    } catch (const LogonStartError& error) {
        warn(QString::fromStdString(error.what()));
        return false;
    }
    return true;
}

bool SettingsDialog::saveNotifications()
{
    const bool wanted = m_notifications->isChecked();
    if (wanted == m_notificationsOn)
        return true;
    try {
        LoginStore store;
        NotificationSetting::write(store, wanted);
    } catch (const SettingsError& error) {
        warn(QString::fromStdString(error.what()));
        return false;
    }
    m_notificationsOn = wanted;
    emit notificationsChanged(wanted);
    return true;
}

void SettingsDialog::warn(const QString& text)
{
    m_boxes.warning(this, windowTitle(), text);
}
