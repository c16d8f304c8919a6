// The registry reader against the real registry (Wine's under test): values are written into the 32-bit
// view of HKEY_LOCAL_MACHINE, where the game's 32-bit installer puts them, and must be found there by
// both the 32-bit and the 64-bit build.
#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

const std::string TestKey =
    "SOFTWARE\\ORVIK Streams Editor Tests\\Registry" + std::to_string(::GetCurrentProcessId());

class RegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, TestKey.c_str(), 0, nullptr, 0,
                                KEY_READ | KEY_WRITE | KEY_WOW64_32KEY, nullptr, &FKey, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    ::RegCloseKey(FKey);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, TestKey.c_str(), KEY_WOW64_32KEY, 0);
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ORVIK Streams Editor Tests", KEY_WOW64_32KEY, 0);
  }
  void SetString(const char* Name, const std::string& Value) {
    ASSERT_EQ(::RegSetValueExA(FKey, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                               static_cast<DWORD>(Value.size() + 1)),
              ERROR_SUCCESS);
  }
  HKEY FKey = nullptr;
};

TEST_F(RegistryTest, ReadsValuesOfThe32BitView) {
  using platform::RegistryResult;
  SetString("Install Dir", "C:\\Games\\ORVIK\\");
  SetString("No Delimiter", "C:\\Games\\ORVIK");
  DWORD Number = 7;
  ASSERT_EQ(
      ::RegSetValueExA(FKey, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Number), sizeof Number),
      ERROR_SUCCESS);

  struct Case {
    const char* Name;
    RegistryResult Result;
    std::wstring Text;
  };
  const Case Cases[] = {
      {"Install Dir", RegistryResult::Ok, L"C:\\Games\\ORVIK\\"},
      {"No Delimiter", RegistryResult::Ok, L"C:\\Games\\ORVIK"},
      {"Missing", RegistryResult::NoValue, L""},
      {"Number", RegistryResult::WrongType, L""},
  };
  for (const Case& C : Cases) {
    std::wstring Text = L"stale";
    EXPECT_EQ(platform::ReadRegistryString(platform::RegistryRoot::LocalMachine, TestKey, C.Name, Text),
              C.Result)
        << C.Name;
    EXPECT_EQ(Text, C.Text) << C.Name;
  }
  EXPECT_TRUE(platform::RegistryKeyExists(platform::RegistryRoot::LocalMachine, TestKey));
  std::wstring Text;
  EXPECT_EQ(platform::ReadRegistryString(platform::RegistryRoot::LocalMachine, TestKey + "\\Absent",
                                         "Install Dir", Text),
            RegistryResult::NoKey);
}

#ifdef _WIN64
// Guards the test itself: in the 64-bit build the key must really be absent from the native view, or
// the reader could pass without asking for the 32-bit one.
TEST_F(RegistryTest, TheValueIsNotInThe64BitView) {
  HKEY Native = nullptr;
  LONG Status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, TestKey.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &Native);
  if (Status == ERROR_SUCCESS)
    ::RegCloseKey(Native);
  EXPECT_EQ(Status, ERROR_FILE_NOT_FOUND);
}
#endif

} // namespace
