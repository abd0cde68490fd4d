// Tavix CallerID tests: the simulated box as the program sees it, through its library entries.
#include "SimulatorHarness.h"

#include "device/SharedLibrary.h"
#include "monitor/DeviceEvents.h"

#include "RecordingDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

using Message = SimulatorHarness::Message;
using std::chrono::milliseconds;

std::string fullWidth(std::string text, int width)
{
    text.resize(static_cast<size_t>(width), '\0');
    return text;
}

std::vector<int32_t> values(const AD101TimingParameters& p)
{
    return {p.RingOn, p.RingOff, p.HookOn, p.HookOff, p.CallerIdStop, p.NoLine};
}

class SimulatedBoxTest : public ::testing::Test
{
  protected:
    SimulatorHarness box;
};

TEST_F(SimulatedBoxTest, OpeningReportsFourConnectedLines)
{
    box.device().AD101_InitDevice(box.window().handle());
    ASSERT_TRUE(box.waitForMessages(12));
    std::vector<Message> expected;
    for (int32_t kind : {EV_BACK_DEVICE, EV_BACK_CPU_ID, EV_BACK_ENABLE})
        for (int32_t line = 0; line < 4; ++line)
            expected.push_back(SimulatorHarness::event(line, kind));
    box.drain();
    EXPECT_EQ(box.received(), expected);
    EXPECT_EQ(box.device().AD101_GetDevice(), 1);
    box.device().AD101_FreeDevice();
}

#if !defined(_WIN32)
// Where the handle is a message port: a port of our own shows on which thread the box posts.
struct ThreadRecordingPort
{
    AD101MessagePort abi{AD101_PORT_MAGIC, this, &ThreadRecordingPort::post};
    std::mutex mutex;
    std::vector<std::pair<std::thread::id, int32_t>> posts;

    static void post(void* context, uint32_t, int32_t wParam, int32_t)
    {
        auto* self = static_cast<ThreadRecordingPort*>(context);
        std::lock_guard lock(self->mutex);
        self->posts.emplace_back(std::this_thread::get_id(), wParam);
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return posts.size();
    }
};

TEST_F(SimulatedBoxTest, PostsOnlyFromItsOwnThreadAndNeverAfterFreeDevice)
{
    ThreadRecordingPort port;
    DeviceLibrary& device = box.device();
    device.AD101_InitDevice(reinterpret_cast<AD101WindowHandle>(&port.abi));
    device.AD101_ReadParameter(2);
    ASSERT_TRUE(box.waitUntil([&] { return port.count() == 13; }));
    device.AD101_FreeDevice();
    {
        std::lock_guard lock(port.mutex);
        for (const auto& [thread, wParam] : port.posts)
            EXPECT_NE(thread, std::this_thread::get_id()) << wParam;
        EXPECT_EQ(port.posts.back().second, 2 * 65536 + EV_PARAMETER);
    }
    device.AD101_ReadParameter(2);
    box.settle(milliseconds(200));
    EXPECT_EQ(port.count(), 13u);
}

TEST_F(SimulatedBoxTest, HandleThatIsNoPortOpensASilentBox)
{
    AD101MessagePort wrongMagic{0x1234u, nullptr, nullptr};
    for (AD101WindowHandle handle :
         {AD101WindowHandle{nullptr}, reinterpret_cast<AD101WindowHandle>(intptr_t{4}),
          reinterpret_cast<AD101WindowHandle>(&wrongMagic)}) {
        EXPECT_EQ(box.device().AD101_InitDevice(handle), 1);
        EXPECT_EQ(box.status().value("open", false), true);
        box.device().AD101_FreeDevice();
    }
}
#endif

TEST_F(SimulatedBoxTest, QueriesAnswerWhatWasSetCutToTheBufferWidth)
{
    box.open();
    DeviceLibrary& device = box.device();
    struct Case
    {
        int32_t line;
        const char* field;
        std::string value;
        int width;
        std::function<void(int32_t, DeviceTextField&)> read;
    };
    const auto callerId = [&](int32_t line, DeviceTextField& f) {
        device.AD101_GetCallerID(line, f, nullptr, nullptr);
    };
    const auto name = [&](int32_t line, DeviceTextField& f) {
        DeviceTextField id(128);
        device.AD101_GetCallerID(line, id, &f, nullptr);
    };
    const auto time = [&](int32_t line, DeviceTextField& f) {
        DeviceTextField id(128);
        device.AD101_GetCallerID(line, id, nullptr, &f);
    };
    const auto digits = [&](int32_t line, DeviceTextField& f) {
        device.AD101_GetDialDigit(line, f);
    };
    const auto collateral = [&](int32_t line, DeviceTextField& f) {
        device.AD101_GetCollateralDialDigit(line, f);
    };
    const auto version = [&](int32_t line, DeviceTextField& f) {
        device.AD101_GetCPUVersion(line, f);
    };
    const auto id = [&](int32_t line, DeviceTextField& f) { device.AD101_GetCPUID(line, f); };
    const std::vector<Case> cases = {
        {0, "callerid", "0123456789", 128, callerId},
        {1, "name", "Jane Doe", 128, name},
        {2, "time", "06151432", 128, time},
        {3, "digits", "5551234#", 128, digits},
        {0, "collateral", "21", 128, collateral},
        {1, "cpuversion", "AD101 V9.9", 32, version},
        {2, "cpuid", "ZZ99", 4, id},
        {3, "callerid", std::string(200, '7'), 128, callerId},
        {0, "name", std::string(129, 'n'), 128, name},
        {1, "time", std::string(300, 't'), 128, time},
        {2, "digits", std::string(128, '9'), 128, digits},
        {3, "collateral", std::string(130, '5'), 128, collateral},
        {0, "cpuversion", std::string(40, 'v'), 32, version},
        {1, "cpuid", "ABCDEFG", 4, id},
    };
    for (const Case& c : cases) {
        EXPECT_TOOL_OK(
            box.tool({"set", QString::number(c.line), c.field, QString::fromStdString(c.value)}));
        DeviceTextField field(c.width);
        c.read(c.line, field);
        EXPECT_EQ(field.text(), fullWidth(c.value.substr(0, static_cast<size_t>(c.width)), c.width))
            << c.field << " of line " << c.line;
    }
}

TEST_F(SimulatedBoxTest, CallerIdCountAndRingIndexFollowWhatWasSet)
{
    box.open();
    DeviceLibrary& device = box.device();
    DeviceTextField field(128);
    EXPECT_EQ(device.AD101_GetCallerID(2, field, nullptr, nullptr), 0);
    EXPECT_TOOL_OK(box.tool({"set", "2", "callerid", "5551234"}));
    EXPECT_EQ(device.AD101_GetCallerID(2, field, nullptr, nullptr), 1);
    EXPECT_EQ(device.AD101_GetCallerID(1, field, nullptr, nullptr), 0); // other lines untouched
    EXPECT_TOOL_OK(box.tool({"set", "2", "callerid", ""}));
    EXPECT_EQ(device.AD101_GetCallerID(2, field, nullptr, nullptr), 0);

    for (int32_t rings : {3, 0, -2, 2147483647}) {
        EXPECT_TOOL_OK(box.tool({"set", "3", "rings", QString::number(rings)}));
        EXPECT_EQ(device.AD101_GetRingIndex(3), rings);
    }
    EXPECT_EQ(device.AD101_GetRingIndex(0), 0);
}

TEST_F(SimulatedBoxTest, NothingIsWrittenPastABuffer)
{
    box.open();
    for (const char* field :
         {"callerid", "name", "time", "digits", "collateral", "cpuversion", "cpuid"})
        EXPECT_TOOL_OK(box.tool({"set", "1", field, QString(300, 'x')}));

    // The raw entries, without DeviceLibrary's own terminating NUL.
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    using TextEntry = int32_t (*)(int32_t, char*);
    auto callerId =
        reinterpret_cast<decltype(&AD101_GetCallerID)>(library.resolve("AD101_GetCallerID"));
    struct Case
    {
        const char* what;
        int width;
        std::function<void(char*)> call;
    };
    const auto text = [&](const char* entry) {
        auto fn = reinterpret_cast<TextEntry>(library.resolve(entry));
        return [fn](char* buffer) { fn(1, buffer); };
    };
    const std::vector<Case> cases = {
        {"caller id", 128, [&](char* b) { callerId(1, b, nullptr, nullptr); }},
        {"name", 128, [&](char* b) { callerId(1, nullptr, b, nullptr); }},
        {"time", 128, [&](char* b) { callerId(1, nullptr, nullptr, b); }},
        {"digits", 128, text("AD101_GetDialDigit")},
        {"collateral", 128, text("AD101_GetCollateralDialDigit")},
        {"cpu version", 32, text("AD101_GetCPUVersion")},
        {"cpu id", 4, text("AD101_GetCPUID")},
    };
    for (const Case& c : cases) {
        const size_t width = static_cast<size_t>(c.width);
        std::vector<char> buffer(width + 1 + 16, '#');
        c.call(buffer.data());
        EXPECT_EQ(std::string(buffer.data(), width), std::string(width, 'x')) << c.what;
        EXPECT_EQ(buffer[width], '\0') << c.what;
        EXPECT_EQ(std::string(buffer.data() + width + 1, 16), std::string(16, '#')) << c.what;
    }
}

TEST_F(SimulatedBoxTest, ReadParameterReportsAndGetParameterFills)
{
    box.open();
    DeviceLibrary& device = box.device();
    device.AD101_ReadParameter(1);
    ASSERT_TRUE(box.waitForMessages(1));
    EXPECT_EQ(box.received().front(), SimulatorHarness::event(1, EV_PARAMETER));

    AD101TimingParameters record{};
    device.AD101_GetParameter(1, &record);
    EXPECT_EQ(values(record), (std::vector<int32_t>{30, 40, 20, 50, 60, 255}));

    EXPECT_TOOL_OK(box.tool({"set", "1", "parameters", "30", "40", "50", "60", "70", "80"}));
    device.AD101_GetParameter(1, &record);
    EXPECT_EQ(values(record), (std::vector<int32_t>{30, 40, 50, 60, 70, 80}));

    AD101TimingParameters written{20, 0, 12, 14, 25, 12};
    device.AD101_SetParameter(3, &written);
    record = {};
    device.AD101_GetParameter(3, &record);
    EXPECT_EQ(values(record), values(written));
    const nlohmann::json parameters = box.status()["lines"][3]["parameters"];
    EXPECT_EQ(parameters, (nlohmann::json{{"RingOn", 20},
                                          {"RingOff", 0},
                                          {"HookOn", 12},
                                          {"HookOff", 14},
                                          {"CallerIdStop", 25},
                                          {"NoLine", 12}}));
    EXPECT_EQ(box.trace().back(), "AD101_GetParameter 3 buf");
}

TEST_F(SimulatedBoxTest, CommandsAreKeptAndReported)
{
    box.open();
    DeviceLibrary& device = box.device();
    device.AD101_SetLED(2, 9);
    device.AD101_SetBusy(2, 0);
    device.AD101_ShowCollateralPhoneDialed(1);
    device.AD101_SetDialOutStartTalkingTime(5);
    device.AD101_SetRingOffTime(10);
    const nlohmann::json status = box.status();
    EXPECT_EQ(status["lines"][2]["led"], 9);
    EXPECT_EQ(status["lines"][2]["busy"], 0);
    EXPECT_EQ(status["lines"][1]["led"], 1);
    EXPECT_EQ(status["lines"][1]["busy"], 1);
    EXPECT_EQ(status["showCollateralPhoneDialed"], 1);
    EXPECT_EQ(status["dialOutStartTalkingTime"], 5);
    EXPECT_EQ(status["ringOffTime"], 10);
}

TEST_F(SimulatedBoxTest, LinesOutsideTheBoxAreIgnored)
{
    box.open();
    DeviceLibrary& device = box.device();
    const nlohmann::json before = box.status();
    for (int32_t line : {-1, 4, 65536, -2147483647 - 1}) {
        EXPECT_EQ(device.AD101_SetLED(line, 3), 0);
        EXPECT_EQ(device.AD101_SetBusy(line, 0), 0);
        AD101TimingParameters record{1, 2, 3, 4, 5, 6};
        EXPECT_EQ(device.AD101_SetParameter(line, &record), 0);
        AD101TimingParameters read{};
        EXPECT_EQ(device.AD101_GetParameter(line, &read), 0);
        EXPECT_EQ(values(read), (std::vector<int32_t>{0, 0, 0, 0, 0, 0}));
        DeviceTextField text(32), id(128);
        EXPECT_EQ(device.AD101_GetCPUVersion(line, text), 0);
        EXPECT_EQ(text.text(), std::string(32, '\0'));
        EXPECT_EQ(device.AD101_GetCallerID(line, id, nullptr, nullptr), 0);
        EXPECT_EQ(device.AD101_GetRingIndex(line), 0);
        device.AD101_ReadParameter(line);
    }
    box.drain();
    EXPECT_TRUE(box.received().empty()); // no parameter report for a line that is not there
    EXPECT_EQ(box.status(), before);
}

TEST_F(SimulatedBoxTest, FreeDeviceStopsEverythingButReportsAndTheTrace)
{
    box.open();
    DeviceLibrary& device = box.device();
    device.AD101_SetLED(0, 3);
    EXPECT_TOOL_OK(box.tool({"call", "0", "5551234", "--interval-ms", "20"}));
    ASSERT_TRUE(box.waitForMessages(1));
    device.AD101_FreeDevice();
    box.settle(milliseconds(50));
    const size_t postedBeforeFree = box.received().size();

    device.AD101_SetLED(0, 5);
    device.AD101_ShowCollateralPhoneDialed(1);
    device.AD101_ReadParameter(0);
    DeviceTextField version(32), callerId(128);
    EXPECT_EQ(device.AD101_GetCPUVersion(0, version), 0);
    EXPECT_EQ(version.text(), std::string(32, '\0'));
    EXPECT_EQ(device.AD101_GetCallerID(0, callerId, nullptr, nullptr), 0);
    EXPECT_EQ(device.AD101_GetDevice(), 0);

    const SimulatorHarness::ToolRun post = box.tool({"post", "1", "2"});
    EXPECT_NE(post.exitCode, 0);
    EXPECT_NE(post.err.find("closed"), std::string::npos) << post.err;
    const nlohmann::json status = box.status();
    EXPECT_EQ(status["open"], false);
    EXPECT_EQ(status["lines"][0]["led"], 3);
    EXPECT_EQ(status["showCollateralPhoneDialed"], 0);
    const std::vector<std::string> trace = box.trace();
    const auto freed = std::find(trace.begin(), trace.end(), "AD101_FreeDevice");
    ASSERT_NE(freed, trace.end());
    EXPECT_NE(std::find(freed, trace.end(), "AD101_SetLED 0 5"), trace.end());

    box.settle(milliseconds(300)); // the call scenario had rings left
    EXPECT_EQ(box.received().size(), postedBeforeFree);

    // And it opens again.
    box.forget();
    box.open();
    EXPECT_EQ(box.device().AD101_GetDevice(), 1);
    EXPECT_EQ(box.status()["lines"][0]["led"], 1); // fresh from the factory
}

TEST_F(SimulatedBoxTest, TraceFileGetsEachCallAsItHappens)
{
    const std::filesystem::path file = box.runtimeDir() / "calls.txt";
    DeviceLibrary& device = box.device();
    {
        ScopedEnv trace("TAVIX_SIM_TRACE", file.string());
        device.AD101_GetDevice();
        device.AD101_SetLED(0, 3);
        EXPECT_EQ(readFile(file), "AD101_GetDevice\nAD101_SetLED 0 3\n");
        DeviceTextField id(128);
        device.AD101_GetCallerID(1, id, nullptr, nullptr);
        AD101TimingParameters record{20, 0, 12, 14, 25, 12};
        device.AD101_SetParameter(1, &record);
    }
    {
        ScopedEnv emptyMeansUnset("TAVIX_SIM_TRACE", "");
        device.AD101_SetBusy(0, 1);
    }
    EXPECT_EQ(readFile(file), "AD101_GetDevice\n"
                              "AD101_SetLED 0 3\n"
                              "AD101_GetCallerID 1 buf null null\n"
                              "AD101_SetParameter 1 20 0 12 14 25 12\n");
}

} // namespace
