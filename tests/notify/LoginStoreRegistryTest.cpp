// Tavix CallerID tests: the login store in the Windows registry, as other programs see it.
#include "notify/LoginStore.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr const wchar_t* kKey = L"Software\\Tavix\\CallerID";

// reg.exe, as an administrator or an installer would use it; false when it fails.
bool reg(const std::wstring& arguments)
{
    return _wsystem((L"reg " + arguments + L" >nul 2>&1").c_str()) == 0;
}

std::wstring keyName(HKEY root)
{
    return (root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") + std::wstring(kKey);
}

// The key's string values as `reg export` writes them: UTF-16 text, never lossy (unlike the
// console output of `reg query`). Empty when the key does not exist.
std::map<std::wstring, std::wstring> exported(HKEY root)
{
    TempDir dir;
    const std::filesystem::path file = dir / "key.reg";
    std::map<std::wstring, std::wstring> values;
    if (!reg(L"export " + keyName(root) + L" \"" + file.wstring() + L"\" /y"))
        return values;
    const std::string bytes = readFile(file);
    std::wstring text(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    // Lines "name"="value", with \ escaping the next character (\n a line break).
    for (size_t at = text.find(L"\n\""); at != std::wstring::npos;
         at = text.find(L"\n\"", at + 1)) {
        std::wstring parts[2];
        size_t i = at + 2;
        for (std::wstring& part : parts) {
            for (; i < text.size() && text[i] != L'"'; ++i)
                part += text[i] == L'\\' ? (text[++i] == L'n' ? L'\n' : text[i]) : text[i];
            i += 3; // past "="
        }
        values[parts[0]] = parts[1];
    }
    return values;
}

void setMachineHost(const std::wstring& host)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"host", 0, REG_SZ, reinterpret_cast<const BYTE*>(host.c_str()),
                   static_cast<DWORD>((host.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The keys are the machine's own: what was there goes back afterwards, and CTest keeps other
// tests of the registry away meanwhile.
class LoginStoreRegistryTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        saved = new TempDir;
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            reg(L"export " + keyName(root) + L" \"" + backup(root) + L"\" /y");
    }
    static void TearDownTestSuite()
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, kKey);
            if (std::filesystem::exists(backup(root)))
                reg(L"import \"" + backup(root) + L"\"");
        }
        delete saved;
    }
    void SetUp() override
    {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            RegDeleteTreeW(root, kKey);
    }

    static std::wstring backup(HKEY root)
    {
        return (*saved / (root == HKEY_CURRENT_USER ? "user.reg" : "machine.reg")).wstring();
    }
    static inline TempDir* saved = nullptr;
};

// Each value is written to all three keys, read back through the store and from outside.
void expectStoredAsTyped(const QString& value)
{
    std::map<std::wstring, std::wstring> expected;
    for (const char* key : {"username", "password", "host"}) {
        LoginStore().writeValue(key, value);
        expected[QString(key).toStdWString()] = value.toStdWString();
    }
    for (const char* key : {"username", "password", "host"})
        EXPECT_EQ(LoginStore().readValue(key), value) << key;
    EXPECT_EQ(exported(HKEY_CURRENT_USER), expected);
}

TEST_F(LoginStoreRegistryTest, ValuesRoundTripExactlyInTheUsersKey)
{
    for (const QString value : {"anna", "Zoë ä€😀", "", " lead and trail ", "a,b;c=d&e#f",
                                "quote\"back\\slash", "line\nbreak", "[CallerID]", "%41+1"}) {
        SCOPED_TRACE(value.toStdString());
        expectStoredAsTyped(value);
    }
}

// Known fault: Qt's registry format writes a text that starts with "@" with a second "@" in
// front (and reads "@String(...)" and the like as its own encodings), so other programs see
// "@@secret" for a password typed as "@secret".
TEST_F(LoginStoreRegistryTest, DISABLED_ValuesStartingWithAnAtSignAreStoredAsTyped)
{
    for (const QString value : {"@secret", "@@", "@String(x)"}) {
        SCOPED_TRACE(value.toStdString());
        expectStoredAsTyped(value);
    }
}

TEST_F(LoginStoreRegistryTest, SavingTheLoginWritesBothValues)
{
    LoginStore().saveLogin("Zoë", "pä$$ wörd");
    const std::map<std::wstring, std::wstring> expected = {{L"username", L"Zoë"},
                                                           {L"password", L"pä$$ wörd"}};
    EXPECT_EQ(exported(HKEY_CURRENT_USER), expected);
    const LoginStore::Values read = LoginStore().read();
    EXPECT_EQ(read.username, "Zoë");
    EXPECT_EQ(read.password, "pä$$ wörd");
}

// An installer puts the shop's web address under HKEY_LOCAL_MACHINE for every user.
TEST_F(LoginStoreRegistryTest, TheMachinesHostServesUsersWithoutTheirOwn)
{
    setMachineHost(L"shop.example:8443");
    EXPECT_EQ(LoginStore().read().host, "shop.example:8443");
    LoginStore().saveLogin("anna", "secret"); // the user's key exists, still without a host
    EXPECT_EQ(LoginStore().read().host, "shop.example:8443");

    LoginStore().writeValue("host", "mine.example");
    EXPECT_EQ(LoginStore().read().host, "mine.example");
    // What Settings shows: the user's own value, and the machine's beside it.
    EXPECT_EQ(LoginStore().readWebApplication().host, "mine.example");
    EXPECT_EQ(LoginStore().everyonesHost(), "shop.example:8443");
    // The user's own settings never go to the machine's key.
    const std::map<std::wstring, std::wstring> machine = {{L"host", L"shop.example:8443"}};
    EXPECT_EQ(exported(HKEY_LOCAL_MACHINE), machine);
    // An emptied host is the user's no longer: the machine's serves again.
    LoginStore().saveWebApplication({}, {});
    EXPECT_EQ(LoginStore().readWebApplication().host, "");
    EXPECT_EQ(LoginStore().read().host, "shop.example:8443");
}

} // namespace
