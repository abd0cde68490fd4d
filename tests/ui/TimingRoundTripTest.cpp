// Tavix CallerID tests: a line's timing parameters read from the simulated box, changed in the
// diagnostics window and written back, as a user does it.
#include "ScopedEnv.h"
#include "UiTestFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

std::string tavixSim(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tavix-sim"), arguments);
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        throw std::runtime_error("tavix-sim " + arguments.join(' ').toStdString() + ": " +
                                 tool.readAllStandardError().toStdString());
    return tool.readAllStandardOutput().toStdString();
}

TEST(TimingRoundTrip, ReadThenSetChangesTheBoxsParameters)
{
    TempDir dir;
    const ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path().string());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((dir / "config").string()));
    const ActivityLog log(dir / "tavix.log");
    DeviceLibrary device; // the simulated box, loaded by name
    std::vector<ShownBox> boxes;
    CallerIdCore core(device, log);
    CallerIdApp app(core, std::make_unique<RecordingMessageBoxes>(boxes));
    app.start();
    QWidget& form = *app.diagnosticsWindow();
    auto box = [&](const char* name) { return form.findChild<QLineEdit*>(QLatin1String(name)); };

    tavixSim({"set", "1", "parameters", "30", "40", "50", "60", "70", "80"});
    form.findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(1);
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("CmdRead")), Qt::LeftButton);
    // The values arrive later, as the box's parameter event.
    ASSERT_TRUE(QTest::qWaitFor([&] { return box("TxtNoLine")->text() == QLatin1String("80"); }));
    EXPECT_EQ(box("TxtRINGON")->text(), "30");
    EXPECT_EQ(box("TxtCALLIDSTOP")->text(), "70");

    box("TxtRINGON")->setText(QStringLiteral("35"));
    box("TxtHOOKOFF")->setText(QStringLiteral("12.5"));
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("CmdWrite")), Qt::LeftButton);

    const auto status = nlohmann::json::parse(tavixSim({"status"}));
    const auto& parameters = status["lines"][1]["parameters"];
    EXPECT_EQ(parameters["RingOn"], 35);
    EXPECT_EQ(parameters["RingOff"], 40);
    EXPECT_EQ(parameters["HookOn"], 50);
    EXPECT_EQ(parameters["HookOff"], 12);
    EXPECT_EQ(parameters["CallerIdStop"], 70);
    EXPECT_EQ(parameters["NoLine"], 80);
    EXPECT_EQ(status["lines"][0]["parameters"]["RingOn"], 30) << "other lines keep theirs";
    EXPECT_TRUE(boxes.empty());
    app.closeMainWindow();
}

} // namespace
