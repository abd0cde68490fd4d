// Tavix CallerID tests: DeviceLibrary and SharedLibrary against the simulated box library.
#include "device/DeviceLibrary.h"

#include "device/SharedLibrary.h"

#include "ScopedEnv.h"
#include "TempDir.h"
#include "TestPlatform.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kEntries = {
#define TAVIX_ENTRY_NAME(name, parameters, arguments) #name,
    AD101_ENTRIES(TAVIX_ENTRY_NAME)
#undef TAVIX_ENTRY_NAME
};

std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const DeviceError& error) {
        return error.what();
    }
    return "(no DeviceError)";
}

// The box writes each call it receives to the file named by TAVIX_SIM_TRACE.
class TracedBox : public ::testing::Test
{
  protected:
    std::string traced() const { return readFile(m_dir / "trace.txt"); }

    TempDir m_dir;
    ScopedEnv m_trace{"TAVIX_SIM_TRACE", (m_dir / "trace.txt").string()};
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_dir.path().string()};
};

TEST(SharedLibraryTest, ResolvesEveryEntryOfTheSimulatedBox)
{
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    for (const std::string& entry : kEntries)
        EXPECT_NE(library.resolve(entry.c_str()), nullptr) << entry;
}

TEST(SharedLibraryTest, ExportsNothingButTheEntries)
{
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    // SimulatedBox::instance(), an internal of the box.
    const std::string message = errorOf([&] { library.resolve("_ZN12SimulatedBox8instanceEv"); });
    EXPECT_NE(message.find("_ZN12SimulatedBox8instanceEv"), std::string::npos) << message;
}

TEST(SharedLibraryTest, MissingLibraryNamesTheFileAndTheReason)
{
    SharedLibrary library("libTavixNoSuchBox.so");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::string message = errorOf([&] { library.resolve("AD101_InitDevice"); });
        EXPECT_NE(message.find("\"libTavixNoSuchBox.so\""), std::string::npos) << message;
        EXPECT_NE(message.find(TestPlatform::kSystemTexts.libraryNotFound), std::string::npos)
            << message;
    }
}

TEST(SharedLibraryTest, MissingEntryNamesTheEntry)
{
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    const std::string message = errorOf([&] { library.resolve("AD101_Nope"); });
    EXPECT_NE(message.find("\"AD101_Nope\""), std::string::npos) << message;
    EXPECT_NE(message.find(DeviceLibrary::kLibraryFileName), std::string::npos) << message;
    // The library itself stays usable.
    EXPECT_NE(library.resolve("AD101_GetDevice"), nullptr);
}

TEST_F(TracedBox, DefaultLibraryIsTheBoxBesideTheProgram)
{
    DeviceLibrary device;
    EXPECT_EQ(device.AD101_GetDevice(), 0); // not opened yet
    EXPECT_EQ(traced(), "AD101_GetDevice\n");
}

TEST_F(TracedBox, EachEntryIsLookedUpOnceAndReused)
{
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    std::map<std::string, int> lookups;
    DeviceLibrary device([&](const char* name) {
        ++lookups[name];
        return library.resolve(name);
    });
    for (int round = 0; round < 3; ++round) {
        device.AD101_GetDevice();
        device.AD101_SetLED(round, 3);
    }
    const std::map<std::string, int> once = {{"AD101_GetDevice", 1}, {"AD101_SetLED", 1}};
    EXPECT_EQ(lookups, once);
    EXPECT_EQ(traced(), "AD101_GetDevice\nAD101_SetLED 0 3\n"
                        "AD101_GetDevice\nAD101_SetLED 1 3\n"
                        "AD101_GetDevice\nAD101_SetLED 2 3\n");
}

TEST_F(TracedBox, ResolveAllLooksUpEveryEntryOnceWithoutCallingOne)
{
    SharedLibrary library(DeviceLibrary::kLibraryFileName);
    std::vector<std::string> lookedUp;
    DeviceLibrary device([&](const char* name) {
        lookedUp.emplace_back(name);
        return library.resolve(name);
    });
    device.resolveAll();
    device.AD101_GetDevice();
    EXPECT_EQ(lookedUp, kEntries);
    EXPECT_EQ(traced(), "AD101_GetDevice\n");
}

TEST(DeviceLibraryTest, ResolveAllNamesTheFirstEntryMissing)
{
    for (const std::string& missing : {kEntries.front(), std::string("AD101_GetCallerID")}) {
        DeviceLibrary device([&](const char* name) -> void* {
            if (name == missing)
                throw DeviceError("no entry \"" + missing + "\"");
            return reinterpret_cast<void*>(&errorOf);
        });
        EXPECT_EQ(errorOf([&] { device.resolveAll(); }), "no entry \"" + missing + "\"");
    }
}

TEST_F(TracedBox, TextFieldsComeBackAtFullWidthWithNulFill)
{
    DeviceLibrary device;
    device.AD101_InitDevice(0); // no port: the box opens but posts nothing
    struct Case
    {
        const char* what;
        int width;
        std::function<void(DeviceTextField&)> read;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"cpu version", 32, [&](DeviceTextField& f) { device.AD101_GetCPUVersion(0, f); },
         "AD101 V2.3"},
        {"cpu id", 4, [&](DeviceTextField& f) { device.AD101_GetCPUID(3, f); }, "A1B3"},
        {"caller id", 128,
         [&](DeviceTextField& f) { device.AD101_GetCallerID(1, f, nullptr, nullptr); }, ""},
        {"dialled digits", 128, [&](DeviceTextField& f) { device.AD101_GetDialDigit(2, f); }, ""},
        {"collateral digits", 128,
         [&](DeviceTextField& f) { device.AD101_GetCollateralDialDigit(2, f); }, ""},
    };
    for (const Case& c : cases) {
        DeviceTextField field(c.width);
        // Left-overs from an earlier use must not survive the call.
        std::fill(field.buffer(), field.buffer() + c.width, 'x');
        c.read(field);
        std::string expected = c.text;
        expected.resize(static_cast<size_t>(c.width), '\0');
        EXPECT_EQ(field.text(), expected) << c.what;
    }
    device.AD101_FreeDevice();
}

TEST_F(TracedBox, FieldOfTheWrongWidthIsRefusedBeforeTheCall)
{
    DeviceLibrary device;
    DeviceTextField narrowVersion(31), wideId(128), shortDigits(32), id(4);
    EXPECT_THROW(device.AD101_GetCPUVersion(0, narrowVersion), std::invalid_argument);
    EXPECT_THROW(device.AD101_GetCPUID(0, wideId), std::invalid_argument);
    EXPECT_THROW(device.AD101_GetDialDigit(0, shortDigits), std::invalid_argument);
    EXPECT_THROW(device.AD101_GetCollateralDialDigit(0, id), std::invalid_argument);
    DeviceTextField callerId(128), badName(4);
    EXPECT_THROW(device.AD101_GetCallerID(0, callerId, &badName, nullptr), std::invalid_argument);
    EXPECT_EQ(traced(), "");
}

// The program loads the box by file name from its own folder: a file of that name in the working
// folder, or in a folder on PATH, must never be the one loaded.
class LibrarySearchTest : public ::testing::Test
{
  protected:
    struct Run
    {
        int exitCode;
        std::string output;
    };

    // The probe program, copied into a folder with `beside` as its box (none when empty), run in
    // a working folder that holds `decoy` as the box, with another such folder first on PATH.
    static Run probe(const std::string& beside, const std::string& decoy)
    {
        TempDir dir;
        for (const char* folder : {"bin", "work", "path"})
            fs::create_directory(dir / folder);
        const fs::path program = dir / "bin" / fs::path(TAVIX_DEVICE_LOAD_PROBE).filename();
        fs::copy_file(TAVIX_DEVICE_LOAD_PROBE, program);
        if (!beside.empty())
            fs::copy_file(beside, dir / "bin" / DeviceLibrary::kLibraryFileName);
        for (const char* folder : {"work", "path"})
            fs::copy_file(decoy, dir / folder / DeviceLibrary::kLibraryFileName);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("LD_LIBRARY_PATH");
        environment.remove("LD_PRELOAD");
        environment.insert("PATH", QString::fromStdString((dir / "path").string()) +
                                       QDir::listSeparator() + environment.value("PATH"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString((dir / "work").string()));
        process.start(QString::fromStdString(program.string()), {});
        EXPECT_TRUE(process.waitForFinished(30000)) << program;
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString()};
    }
};

TEST_F(LibrarySearchTest, OnlyTheLibraryBesideTheProgramIsLoaded)
{
    const std::string name = std::string("\"") + DeviceLibrary::kLibraryFileName + "\"";
    struct Case
    {
        const char* what;
        std::string beside, decoy;
        int exitCode;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"the box beside, one lacking entries elsewhere",
         TAVIX_BOX,
         TAVIX_INCOMPLETE_BOX,
         0,
         {"loaded"}},
        {"none beside, the box elsewhere",
         "",
         TAVIX_BOX,
         2,
         {"Cannot load the device library " + name, TestPlatform::kSystemTexts.libraryNotFound}},
        {"one without AD101_GetCallerID beside, the box elsewhere",
         TAVIX_BOX_WITHOUT_CALLER_ID,
         TAVIX_BOX,
         2,
         {"The device library " + name + " has no entry \"AD101_GetCallerID\""}},
    };
    for (const Case& c : cases) {
        const Run run = probe(c.beside, c.decoy);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.output;
        for (const std::string& text : c.said)
            EXPECT_NE(run.output.find(text), std::string::npos) << c.what << ": " << run.output;
    }
}

} // namespace
