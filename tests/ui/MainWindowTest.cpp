// Tavix CallerID tests: the main window's layout, lamps, login box and web notification.
#include "UiTestFixture.h"

#include "notify/LoginStore.h"
#include "ui/LinkLabel.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <limits>

namespace {

class MainWindowTest : public UiTest
{
  protected:
    QLabel& onLight(int line)
    {
        return control<QLabel>(mainWindow(), ("OnLights" + std::to_string(line)).c_str());
    }
    std::vector<bool> litLamps()
    {
        std::vector<bool> lit;
        for (int line = 0; line < kLineCount; ++line)
            lit.push_back(!onLight(line).isHidden());
        return lit;
    }
    QLineEdit& username() { return control<QLineEdit>(mainWindow(), "tbUsername"); }
    QLineEdit& password() { return control<QLineEdit>(mainWindow(), "tbPassword"); }
    void retype(QLineEdit& box, const QString& text)
    {
        box.selectAll();
        QTest::keyClick(&box, Qt::Key_Delete);
        QTest::keyClicks(&box, text);
    }
    void save()
    {
        QTest::mouseClick(&control<QPushButton>(mainWindow(), "btnSaveLogin"), Qt::LeftButton);
    }
    void storeLogin(const QString& user, const QString& pass)
    {
        LoginStore store;
        store.writeValue(QStringLiteral("username"), user);
        store.writeValue(QStringLiteral("password"), pass);
    }
};

TEST_F(MainWindowTest, HasItsCaptionFixedCentredSizeAndIcon)
{
    startProgram();
    MainWindow& w = mainWindow();

    EXPECT_EQ(w.objectName(), "main");
    EXPECT_EQ(w.windowTitle(), "Tavix CallerID");
    EXPECT_EQ(w.size(), QSize(264, 280));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(w.frameGeometry().center().x() - screen.center().x()), 16);
    EXPECT_LE(std::abs(w.frameGeometry().center().y() - screen.center().y()), 32);
    for (int size : {16, 24, 32, 48, 256})
        EXPECT_TRUE(w.windowIcon().availableSizes().contains(QSize(size, size))) << size;
    EXPECT_EQ(QApplication::windowIcon().availableSizes().size(), 5);
}

struct Placement
{
    const char* name;
    QRect geometry;
    const char* text;
};

class MainLayoutTest : public MainWindowTest, public ::testing::WithParamInterface<Placement>
{
};

TEST_P(MainLayoutTest, PlacesTheControl)
{
    startProgram();
    auto& widget = control<QWidget>(mainWindow(), GetParam().name);

    EXPECT_EQ(widget.geometry(), GetParam().geometry);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(&widget))
        text = label->text();
    else if (auto* button = qobject_cast<QPushButton*>(&widget))
        text = button->text();
    EXPECT_EQ(text, QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    SpotChecks, MainLayoutTest,
    ::testing::Values(Placement{"Image1", {50, 8, 165, 60}, ""},
                      Placement{"lblLineNumber", {16, 88, 65, 25}, "Line"},
                      Placement{"OnLights2", {176, 80, 30, 31}, ""},
                      Placement{"OffLights3", {216, 80, 30, 31}, ""},
                      Placement{"btnSaveLogin", {200, 120, 49, 57}, "SAVE"},
                      Placement{"tbPassword", {96, 152, 97, 23}, ""},
                      Placement{"lblHelp", {16, 184, 233, 65}, MainWindow::kHelpText},
                      Placement{"showDebugForm", {160, 224, 81, 21}, "Show Debug"},
                      Placement{"lblCalls", {16, 252, 153, 21}, "<a href=\"#\">Calls\u2026</a>"},
                      Placement{
                          "lblSettings", {176, 252, 73, 21}, "<a href=\"#\">Settings\u2026</a>"}),
    [](const ::testing::TestParamInfo<Placement>& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ShowsTheLoginBoxAsDesigned)
{
    startProgram();
    auto& help = control<QLabel>(mainWindow(), "lblHelp");

    EXPECT_TRUE(help.wordWrap());
    EXPECT_EQ(help.palette().color(QPalette::WindowText),
              help.palette().color(QPalette::Disabled, QPalette::WindowText));
    EXPECT_EQ(password().echoMode(), QLineEdit::Password);
    EXPECT_TRUE(password().styleSheet().contains("lineedit-password-character: 42"));
    EXPECT_EQ(username().font().family(), "MS Sans Serif");
    EXPECT_DOUBLE_EQ(username().font().pointSizeF(), 9.75);
    EXPECT_DOUBLE_EQ(control<QLabel>(mainWindow(), "lblPassword").font().pointSizeF(), 9.75);
    EXPECT_TRUE(control<QPushButton>(mainWindow(), "showDebugForm").isHidden());
    EXPECT_EQ(control<QLabel>(mainWindow(), "Image1").pixmap().size(), QSize(165, 60));
}

TEST_F(MainWindowTest, FocusStartsInTheUserNameAndTabGoesRound)
{
    startProgram();
    mainWindow().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&mainWindow()));
    EXPECT_EQ(QApplication::focusWidget(), &username());

    std::vector<QString> order;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.push_back(QApplication::focusWidget()->objectName());
    }

    EXPECT_EQ(order, (std::vector<QString>{"tbPassword", "btnSaveLogin", "lblCalls", "lblSettings",
                                           "tbUsername"}));
}

TEST_F(MainWindowTest, LampsStartUnlitWithTheLitLampAboveTheUnlitOne)
{
    startProgram();

    EXPECT_EQ(litLamps(), (std::vector<bool>{false, false, false, false}));
    const QObjectList& children = mainWindow().children();
    for (int line = 0; line < kLineCount; ++line) {
        auto& off = control<QLabel>(mainWindow(), ("OffLights" + std::to_string(line)).c_str());
        EXPECT_FALSE(off.isHidden());
        EXPECT_EQ(off.geometry(), onLight(line).geometry());
        // Later siblings are painted above earlier ones.
        EXPECT_GT(children.indexOf(&onLight(line)), children.indexOf(&off));
    }
}

TEST_F(MainWindowTest, LightOnAndOffSwitchOneLampAndSetTheCurrentLine)
{
    startProgram();

    core->LightOn(2);
    EXPECT_EQ(litLamps(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(core->CurrentLine(), 2);
    core->LightOn(2);
    EXPECT_EQ(litLamps(), (std::vector<bool>{false, false, true, false}));

    core->LightOff(2);
    EXPECT_EQ(litLamps(), (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(core->CurrentLine(), 2);

    core->LightOn(0);
    core->LightOff(3);
    EXPECT_EQ(litLamps(), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(core->CurrentLine(), 3);
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(MainWindowTest, ALineWithNoLampFailsAfterSettingTheCurrentLine)
{
    startProgram();
    core->LightOn(1);

    struct Case
    {
        int32_t line;
        bool overflow;
    };
    for (Case c :
         {Case{5, false}, Case{4, false}, Case{-1, false}, Case{32767, false}, Case{-32768, false},
          Case{32768, true}, Case{-32769, true}, Case{std::numeric_limits<int32_t>::max(), true}}) {
        SCOPED_TRACE(c.line);
        if (c.overflow)
            EXPECT_THROW(core->LightOn(c.line), std::overflow_error);
        else
            EXPECT_THROW(core->LightOn(c.line), std::out_of_range);
        EXPECT_EQ(core->CurrentLine(), c.line);
        EXPECT_THROW(core->LightOff(c.line), std::exception);
        EXPECT_EQ(litLamps(), (std::vector<bool>{false, true, false, false}));
    }
}

TEST_F(MainWindowTest, LampsSwitchedBeforeMainExistsShowWhenItIsMade)
{
    makeApp();

    core->LightOn(3);
    EXPECT_EQ(app->mainWindow(), nullptr);
    app->ensureMainWindow();

    ASSERT_NE(app->mainWindow(), nullptr);
    EXPECT_FALSE(mainWindow().isVisible());
    EXPECT_EQ(litLamps(), (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(core->CurrentLine(), 3);
}

TEST_F(MainWindowTest, FirstRunLoadsAnEmptyLogin)
{
    startProgram();

    EXPECT_EQ(username().text(), "");
    EXPECT_EQ(password().text(), "");
    EXPECT_EQ(core->LoginUser(), "");
    EXPECT_EQ(core->LoginPassword(), "");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(MainWindowTest, SaveStoresTheTextsAsTypedAndConfirms)
{
    startProgram();
    retype(username(), "  anna ");
    retype(password(), "p a*ss");

    save();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Information);
    EXPECT_EQ(boxes[0].title, "Tavix CallerID");
    EXPECT_EQ(boxes[0].text, "Saved Successfully");
    EXPECT_EQ(core->LoginUser(), "  anna ");
    EXPECT_EQ(core->LoginPassword(), "p a*ss");
    LoginStore store;
    EXPECT_EQ(store.readValue("username"), "  anna ");
    EXPECT_EQ(store.readValue("password"), "p a*ss");
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(LoginStore::fileName().toStdString()).permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}

TEST_F(MainWindowTest, SaveShowsWhatTheStoreReadsBack)
{
    storeLogin(QStringLiteral("old"), QStringLiteral("old-pass"));
    startProgram();
    ASSERT_EQ(username().text(), "old");
    ASSERT_EQ(password().text(), "old-pass");
    ASSERT_EQ(core->LoginUser(), "old");
    retype(username(), "new");

    save();

    // The store holds what was typed in both boxes; the login follows it, not the typing alone.
    EXPECT_EQ(core->LoginUser(), "new");
    EXPECT_EQ(core->LoginPassword(), "old-pass");
    EXPECT_EQ(username().text(), "new");
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(MainWindowTest, SavingUnchangedOrEmptyTextsStillWritesAndConfirms)
{
    storeLogin(QStringLiteral("u"), QStringLiteral("p"));
    startProgram();

    save();
    retype(username(), "");
    retype(password(), "");
    save();

    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(core->LoginUser(), "");
    EXPECT_EQ(core->LoginPassword(), "");
    EXPECT_EQ(LoginStore().readValue("username"), "");
}

TEST_F(MainWindowTest, TypingWithoutSavingLeavesTheLoginUnchanged)
{
    storeLogin(QStringLiteral("shop"), QStringLiteral("before"));
    startProgram();

    retype(password(), "after");

    EXPECT_EQ(core->LoginPassword(), "before");
    EXPECT_EQ(LoginStore().readValue("password"), "before");
}

#ifndef _WIN32
// The settings file; the registry's failures are LoginStoreRegistryTest's.
TEST_F(MainWindowTest, ASettingsStoreThatCannotBeWrittenIsReported)
{
    startProgram();
    // The settings folder becomes a file, so the store can no longer be created there.
    std::filesystem::remove_all(settingsFolder().toStdString());
    std::ofstream(settingsFolder().toStdString()) << "not a folder";
    retype(username(), "someone");

    save();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_FALSE(boxes[0].text.isEmpty());
    EXPECT_EQ(core->LoginUser(), "");
}

TEST_F(MainWindowTest, ASettingsFileThatCannotBeReadIsReportedAfterStartUpAndNeverOverwritten)
{
    const std::filesystem::path file = dir / "config" / "Tavix.conf";
    const std::vector<std::pair<const char*, std::string>> unreadable = {
        {"random bytes", std::string("\x93\xfe\0garbage\n=\xff\x01[\n", 15)},
        {"no section of ours", "[Other]\nusername=someone\n"},
        {"broken section", "[CallerID\nusername=x\n"},
    };
    for (const auto& [what, contents] : unreadable) {
        SCOPED_TRACE(what);
        boxes.clear();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;

        startProgram();
        // Not in the middle of start-up, where its event loop would let device events in.
        EXPECT_TRUE(boxes.empty());
        QCoreApplication::sendPostedEvents();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
        EXPECT_TRUE(boxes[0].text.contains(QString::fromStdString(file.string())))
            << boxes[0].text.toStdString();
        EXPECT_EQ(core->LoginUser(), "");

        retype(username(), "anna");
        retype(password(), "pw");
        save();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].kind, ShownBox::Warning);
        EXPECT_TRUE(boxes[1].text.startsWith("Nothing was saved")) << boxes[1].text.toStdString();
        EXPECT_EQ(readFile(file), contents);
        app.reset();
        deleteClosedWindows();
    }
}

#endif

TEST_F(MainWindowTest, EnterPressesTheFocusedSaveButton)
{
    startProgram();
    retype(username(), "till 1");
    retype(password(), "p&ss");
    auto& saveButton = control<QPushButton>(mainWindow(), "btnSaveLogin");
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        boxes.clear();
        QTest::keyClick(&saveButton, key);
        ASSERT_EQ(boxes.size(), 1u) << key;
        EXPECT_EQ(boxes[0].text, "Saved Successfully");
    }
    EXPECT_EQ(LoginStore().readValue("username"), "till 1");
    EXPECT_EQ(core->LoginPassword(), "p&ss");
}

TEST_F(MainWindowTest, AHostThatIsNotOneIsToldInABoxOnceStartUpIsOver)
{
    LoginStore().writeValue(QStringLiteral("host"), QStringLiteral("pos.example/till?x="));
    startProgram();
    EXPECT_TRUE(boxes.empty());

    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, ShownBox::Warning);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("\"host\""))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("pos.example/till?x=")));
}

TEST_F(MainWindowTest, SendCallCarriesTheSavedLoginToTheNotifier)
{
    // A connector that refuses at once: the notifier then logs its one error entry.
    storeLogin(QStringLiteral("shop"), QStringLiteral("s3cret"));
    LoginStore().writeValue(QStringLiteral("host"), QStringLiteral("127.0.0.1:1"));
    startProgram();

    core->SendCall(std::string("0123456789") + std::string(118, '\0'), "1");

    ASSERT_TRUE(QTest::qWaitFor([&] { return logTexts().size() == 2; }, 30000));
    const auto texts = logTexts();
    EXPECT_EQ(texts[0], "Turn line 0's light to green");
    EXPECT_EQ(texts[1].rfind("No reply from the web application for the caller 0123456789 on "
                             "line 2: " +
                                 std::string(TestPlatform::kSystemTexts.couldNotConnect),
                             0),
              0u)
        << texts[1];
    EXPECT_EQ(readFile(log.path()).find("s3cret"), std::string::npos);
}

TEST_F(MainWindowTest, TheLinksBelowTheHelpTextSayWhatWaitsAndFollowFromTheKeyboard)
{
    startProgram();
    auto& calls = control<LinkLabel>(mainWindow(), "lblCalls");
    for (const auto& [missed, text] :
         {std::pair{0, "Calls\u2026"}, std::pair{1, "1 missed call \u2014 Calls\u2026"},
          std::pair{3, "3 missed calls \u2014 Calls\u2026"}}) {
        mainWindow().setMissedCalls(missed);
        EXPECT_EQ(calls.linkText(), QString::fromUtf8(text));
    }
    int wanted = 0;
    QObject::connect(&mainWindow(), &MainWindow::callsWanted, [&] { ++wanted; });
    QObject::connect(&mainWindow(), &MainWindow::settingsWanted, [&] { wanted += 10; });
    QTest::keyClick(&calls, Qt::Key_Return);
    QTest::keyClick(&control<LinkLabel>(mainWindow(), "lblSettings"), Qt::Key_Space);
    EXPECT_EQ(wanted, 11);
}

} // namespace
