// Tavix CallerID tests: the Settings dialog, opened from the main window.
#include "HttpsServer.h"
#include "UiTestFixture.h"

#include "desktop/NotificationSetting.h"
#include "notify/ConnectionCheck.h"
#include "notify/LoginStore.h"
#include "ui/LinkLabel.h"
#include "ui/SettingsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using namespace std::chrono_literals;

class SettingsDialogTest : public UiTest
{
  protected:
    // Opened from main, the box `name` clicked, then `button` pressed.
    SettingsDialog& change(const char* name, const char* button = "btnOk")
    {
        QTest::keyClick(&control<LinkLabel>(mainWindow(), "lblSettings"), Qt::Key_Return);
        SettingsDialog& dialog = *app->settingsDialog();
        if (name)
            control<QCheckBox>(dialog, name).click();
        if (button)
            QTest::mouseClick(&control<QPushButton>(dialog, button), Qt::LeftButton);
        deleteClosedWindows();
        return dialog;
    }
    QString stored(const char* key) { return LoginStore().readValue(QLatin1String(key)); }

    // The web application typed into a freshly opened dialog, then OK pressed.
    SettingsDialog& typeWebApplication(const QString& host, const QString& caFile)
    {
        SettingsDialog& dialog = change(nullptr, nullptr);
        control<QLineEdit>(dialog, "txtHost").setText(host);
        if (auto* file = dialog.findChild<QLineEdit*>("txtCaFile"))
            file->setText(caFile);
        return change(nullptr);
    }
    // A caller on line 2, as the box reports one.
    void ring(const char* number)
    {
        recorder.line(1) = {number, "", "", "", "", "", "", 1};
        recorder.postToProgram(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
    }
};

TEST_F(SettingsDialogTest, OneDialogOfGroupBoxesWhereOkSavesAndCancelLeavesAlone)
{
    startProgram();
    SettingsDialog& dialog = change(nullptr, nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Tavix CallerID \u2014 Settings"));
    EXPECT_EQ(dialog.parentWidget(), &mainWindow());
    EXPECT_EQ(&change(nullptr, nullptr), &dialog);
    EXPECT_EQ(control<QCheckBox>(dialog, "chkStartAtLogon").text(), "Start at log-on");
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkNotifications").isChecked());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isHidden());
    // A subject is a group box in the sections' column.
    EXPECT_EQ(dialog.sections().itemAt(0)->widget(),
              &control<QGroupBox>(dialog, "grpWebApplication"));
    EXPECT_EQ(dialog.sections().itemAt(1)->widget(), &control<QGroupBox>(dialog, "grpDesktop"));
    // Where the authorities come from: a file of them on Linux, the store on Windows.
    EXPECT_EQ(dialog.findChild<QLineEdit*>("txtCaFile") == nullptr, kUsesCertificateStore);
    EXPECT_EQ(dialog.findChild<QLabel*>("lblCertificateStore") != nullptr, kUsesCertificateStore);
    QTest::mouseClick(&control<QPushButton>(dialog, "btnCancel"), Qt::LeftButton);
    deleteClosedWindows();
    EXPECT_EQ(app->settingsDialog(), nullptr);

    change("chkStartAtLogon");
    EXPECT_TRUE(logonStart().isEnabled());
    change("chkStartAtLogon", "btnCancel");
    EXPECT_TRUE(logonStart().isEnabled());
    change("chkStartAtLogon");
    EXPECT_FALSE(logonStart().isEnabled());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsDialogTest, NotificationsAreSavedBesideTheLoginAndObeyedFromTheNextCaller)
{
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("pw"));
    startProgram();
    change("chkNotifications");
    EXPECT_EQ(stored(NotificationSetting::kKey), "false");
    EXPECT_EQ(stored("username") + stored("password"), "tillpw");
    recorder.line(1) = {"555", "", "", "", "", "", "", 1};
    recorder.postToProgram(WM_DEVICE_EVENT, 65536 + EV_BACK_CID, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logTexts().size() > 5; }));
    EXPECT_TRUE(notices.empty());

    app.reset();
    deleteClosedWindows();
    startProgram();
    EXPECT_FALSE(app->callNotifications().isEnabled()); // read at start
    EXPECT_FALSE(change(nullptr, nullptr).findChild<QCheckBox*>("chkNotifications")->isChecked());
    // On its box: the row is wider than the box and its text.
    QCheckBox& notifications = control<QCheckBox>(*app->settingsDialog(), "chkNotifications");
    QTest::mouseClick(&notifications, Qt::LeftButton, {}, QPoint(8, notifications.height() / 2));
    change(nullptr);
    EXPECT_TRUE(app->callNotifications().isEnabled());
    EXPECT_EQ(stored(NotificationSetting::kKey), "true");
}

TEST_F(SettingsDialogTest, AHostThatIsNotOneIsRefusedWithItsReasonAndNothingIsSaved)
{
    LoginStore().saveWebApplication(QStringLiteral("pos.myshop.example"), {});
    startProgram();
    const std::vector<std::pair<QString, QString>> refused = {
        {"pos.myshop.example/till?x=", "it holds a path (/)"},
        {"till@pos.myshop.example", "it holds user information (@)"},
        {"pos.myshop.example\n", "it holds a control character"},
        {"pos.myshop.example ", "it holds a blank"},
        {"[::1]8443", "only :port may follow the IPv6 address"},
    };
    for (const auto& [host, reason] : refused) {
        SettingsDialog& dialog = typeWebApplication(host, {});
        ASSERT_EQ(boxes.size(), 1u) << host.toStdString();
        EXPECT_TRUE(boxes[0].text.contains(reason)) << boxes[0].text.toStdString();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(stored("host"), "pos.myshop.example");
        control<QPushButton>(dialog, "btnCheckConnection").click(); // refused before any lookup
        EXPECT_TRUE(control<QLabel>(dialog, "lblCheckResult").text().contains(reason));
        boxes.clear();
        dialog.reject();
        deleteClosedWindows();
    }
    typeWebApplication(QStringLiteral("[::1]:8443"), {});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(stored("host"), "[::1]:8443");
}

TEST_F(SettingsDialogTest, ANewcomerSetsTheHostChecksItAndTheNextCallerGoesThereWithoutARestart)
{
    HttpsServer slow(HttpsServer::Options{.body = "from the old host", .delay = 1500ms});
    HttpsServer server(HttpsServer::Options{.body = "from the new host"});
    LoginStore store;
    store.saveLogin(QStringLiteral("till"), QStringLiteral("pw"));
    store.saveWebApplication(QString::fromStdString(slow.host()),
                             QString::fromStdString(HttpsServer::caFile()));
    startProgram();
    ring("111"); // still waiting for its reply when the settings change
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.requests().size() == 1; }, 30000));

    SettingsDialog& dialog = change(nullptr, nullptr);
    dialog.setCheckTimeout(10s);
    control<QLineEdit>(dialog, "txtHost").setText(QString::fromStdString(server.host()));
    control<QPushButton>(dialog, "btnCheckConnection").click();
    QLabel& result = control<QLabel>(dialog, "lblCheckResult");
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.text().startsWith("The c"); }, 30000));
    EXPECT_TRUE(result.text().startsWith("The connection works: 127.0.0.1 port " +
                                         QString::number(server.port()) + " was reached"))
        << result.text().toStdString();
    for (const HttpsServer::Request& request : server.requests())
        EXPECT_EQ(request.method + " " + request.target, "HEAD /"); // WinHTTP's way to see TLS
    QTest::mouseClick(&control<QPushButton>(dialog, "btnOk"), Qt::LeftButton);
    deleteClosedWindows();
    EXPECT_EQ(stored("host").toStdString(), server.host());

    ring("222");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto texts = logTexts();
            return std::count(texts.begin(), texts.end(), "from the new host") == 1 &&
                   std::count(texts.begin(), texts.end(), "from the old host") == 1;
        },
        30000));
    // Beside the check's own HEAD / on Windows, the caller alone.
    std::vector<HttpsServer::Request> callers = server.requests();
    std::erase_if(callers, [](const HttpsServer::Request& r) { return r.method == "HEAD"; });
    ASSERT_EQ(callers.size(), 1u);
    EXPECT_EQ(callers.back().value("caller"), "222");
    EXPECT_EQ(slow.requests().size(), 1u);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SettingsDialogTest, ACheckRunsBesideTheDialogUntilCancelledOrClosed)
{
    HttpsServer silent(HttpsServer::Options{.silent = true});
    startProgram();
    SettingsDialog& dialog = change(nullptr, nullptr);
    control<QLineEdit>(dialog, "txtHost").setText(QString::fromStdString(silent.host()));
    QPushButton& check = control<QPushButton>(dialog, "btnCheckConnection");
    for (const char* end : {"btnCancelCheck", "btnCancel"}) {
        check.click();
        EXPECT_FALSE(check.isEnabled());
        EXPECT_TRUE(control<QProgressBar>(dialog, "prgCheck").isVisibleTo(&dialog));
        QTest::mouseClick(&control<QPushButton>(dialog, end), Qt::LeftButton);
        EXPECT_TRUE(check.isEnabled()) << end;
        EXPECT_FALSE(control<QProgressBar>(dialog, "prgCheck").isVisibleTo(&dialog));
        if (dialog.isVisible()) {
            EXPECT_EQ(control<QLabel>(dialog, "lblCheckResult").text(), "The check was cancelled.");
        }
    }
    EXPECT_FALSE(dialog.isVisible());
}

#ifdef _WIN32
TEST_F(SettingsDialogTest, TheInstallersEntryForEveryoneIsShownReadOnly)
{
    QSettings(logonStart().places().machine.at(0), QSettings::NativeFormat)
        .setValue(QLatin1String(LogonStart::kRunValueName), QStringLiteral("\"C:\\T.exe\""));
    startProgram();
    SettingsDialog& dialog = change(nullptr, nullptr);
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkStartAtLogon").isChecked());
    EXPECT_FALSE(control<QCheckBox>(dialog, "chkStartAtLogon").isEnabled());
    EXPECT_TRUE(control<QLabel>(dialog, "lblStartsForEveryone").isVisibleTo(&dialog));
    change(nullptr);
    EXPECT_FALSE(logonStart().isEnabled()); // the user's own value is not written beside it
}
#else
TEST_F(SettingsDialogTest, TheHostAndTheAuthorityFileAreSavedBothOrNeither)
{
    startProgram();
    const QString missing = QString::fromStdString((dir / "no-such-ca.pem").string());
    SettingsDialog& dialog = typeWebApplication(QStringLiteral("pos.myshop.example"), missing);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(missing)) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains("Nothing was saved"));
    EXPECT_EQ(stored("host") + stored("cafile"), "");
    dialog.reject();
    deleteClosedWindows();

    const QString authority = QString::fromStdString(HttpsServer::caFile());
    typeWebApplication(QStringLiteral("pos.myshop.example"), authority);
    EXPECT_EQ(stored("host"), "pos.myshop.example");
    EXPECT_EQ(stored("cafile"), authority);
    typeWebApplication({}, {}); // none: the build's default again
    EXPECT_FALSE(LoginStore().read().host.size() + LoginStore().read().caFile.size());
}

// The autostart file and the settings file; the registry's failures are the Windows tests'.
TEST_F(SettingsDialogTest, WhatCannotBeSavedIsSaidAndTheDialogStaysOpenWithIt)
{
    startProgram();
    const std::string autostart =
        std::filesystem::path(logonStart().places().user.toStdString()).parent_path().string();
    std::ofstream(autostart) << "a file where the autostart folder should be";
    SettingsDialog& dialog = change("chkStartAtLogon");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_EQ(boxes[0].title, dialog.windowTitle());
    EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(autostart)));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(control<QCheckBox>(dialog, "chkStartAtLogon").isChecked());
}
#endif

} // namespace
