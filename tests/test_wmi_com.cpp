// The COM back end of the WMI model against the system's own WMI (Wine's, on the build host).
#include "platform/win/wmi_com.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <string>

#include "engine/controller_access.h"

namespace {

const wchar_t* const TEST_KEY = L"Software\\Kelvane\\WmiComTest";
const int32_t HKEY_CURRENT_USER_ID = static_cast<int32_t>(0x80000001);

class WmiCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, TEST_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }
  void TearDown() override {
    g_wbemServices.reset();  // before COM goes
    ::RegDeleteTreeW(HKEY_CURRENT_USER, TEST_KEY);
    ::CoUninitialize();
  }

  std::unique_ptr<IWmiServices> Connect(const wchar_t* nameSpace) {
    std::unique_ptr<IWmiLocator> locator = WmiComBackend().CreateLocator();
    EXPECT_NE(locator, nullptr);
    std::unique_ptr<IWmiServices> services;
    if (locator) {
      EXPECT_TRUE(locator->ConnectServer(nameSpace, services)) << nameSpace;
    }
    return services;
  }

  // Spawns the in-parameters of a method of StdRegProv, naming the test key.
  std::unique_ptr<IWmiObject> RegistryParams(IWmiServices& services, const wchar_t* method,
                                             const wchar_t* valueName) {
    std::unique_ptr<IWmiObject> registry;
    std::unique_ptr<IWmiObject> signature;
    std::unique_ptr<IWmiObject> in;
    EXPECT_TRUE(services.GetObjectByPath(L"StdRegProv", registry));
    if (!registry)
      return nullptr;
    EXPECT_TRUE(registry->GetMethod(method, &signature)) << method;
    if (!signature)
      return nullptr;
    EXPECT_TRUE(signature->SpawnInstance(in));
    if (!in)
      return nullptr;
    EXPECT_TRUE(in->Put(L"hDefKey", WmiValue::Int(HKEY_CURRENT_USER_ID)));
    EXPECT_TRUE(in->Put(L"sSubKeyName", WmiValue::Str(TEST_KEY)));
    EXPECT_TRUE(in->Put(L"sValueName", WmiValue::Str(valueName)));
    return in;
  }
};

TEST_F(WmiCom, ANamespaceThatDoesNotExistFailsTheConnect) {
  std::unique_ptr<IWmiLocator> locator = WmiComBackend().CreateLocator();
  ASSERT_NE(locator, nullptr);
  std::unique_ptr<IWmiServices> services;
  EXPECT_FALSE(locator->ConnectServer(L"ROOT\\Intel\\Thunderbolt", services));
  EXPECT_EQ(services, nullptr);

  // The same through controller access on the real platform.
  EXPECT_FALSE(WmiConnect());
  EXPECT_EQ(g_wbemServices, nullptr);
  uint32_t version = 0;
  EXPECT_EQ(WmiGetCurrentNvmVersion(&version), UR_NO_TBT_SOFTWARE);
}

TEST_F(WmiCom, QueryEnumeratesInstancesWithTheirProperties) {
  std::unique_ptr<IWmiServices> services = Connect(L"root\\cimv2");
  ASSERT_NE(services, nullptr);
  std::unique_ptr<IWmiEnumerator> enumerator;
  ASSERT_TRUE(services->ExecQuery(L"WQL", L"select * from Win32_OperatingSystem", enumerator));
  std::unique_ptr<IWmiObject> system;
  ASSERT_TRUE(enumerator->Next(system));
  WmiValue caption;
  ASSERT_TRUE(system->Get(L"Caption", caption));
  EXPECT_EQ(caption.type, WmiType::String);
  EXPECT_FALSE(caption.string.empty());
  WmiValue missing;
  EXPECT_FALSE(system->Get(L"NoSuchProperty", missing));
  std::unique_ptr<IWmiObject> second;
  EXPECT_FALSE(enumerator->Next(second));
}

TEST_F(WmiCom, AMethodCallRoundTripsInAndOutParameters) {
  const std::wstring text = L"round \\ trip \u00e9";
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, TEST_KEY, L"Probe", REG_SZ, text.c_str(),
                              DWORD((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  std::unique_ptr<IWmiServices> services = Connect(L"root\\default");
  ASSERT_NE(services, nullptr);
  std::unique_ptr<IWmiObject> in = RegistryParams(*services, L"GetStringValue", L"Probe");
  ASSERT_NE(in, nullptr);
  std::unique_ptr<IWmiObject> out;
  ASSERT_TRUE(services->ExecMethod(L"StdRegProv", L"GetStringValue", in.get(), out));
  ASSERT_NE(out, nullptr);
  WmiValue returnValue;
  ASSERT_TRUE(out->Get(L"ReturnValue", returnValue));
  EXPECT_EQ(returnValue.type, WmiType::Int32);
  EXPECT_EQ(returnValue.int32, 0);
  WmiValue value;
  ASSERT_TRUE(out->Get(L"sValue", value));
  EXPECT_EQ(value.type, WmiType::String);
  EXPECT_EQ(value.string, text);

  // A value that is not there: the provider's own code, and no string.
  in = RegistryParams(*services, L"GetStringValue", L"Absent");
  ASSERT_NE(in, nullptr);
  ASSERT_TRUE(services->ExecMethod(L"StdRegProv", L"GetStringValue", in.get(), out));
  ASSERT_TRUE(out->Get(L"ReturnValue", returnValue));
  EXPECT_NE(returnValue.int32, 0);
}

// The VARIANT forms the provider exchanges, through the system's own OLE Automation.
TEST(WmiComVariant, ValuesRoundTrip) {
  const WmiValue values[] = {
      WmiValue{},
      WmiValue::Null(),
      WmiValue::Int(-2),
      WmiValue::Str(std::wstring(L"a\0b", 3)),
      WmiValue::Bytes({0x00, 0x7F, 0x80, 0xFF}),
      WmiValue::Bytes({}),
      WmiValue::MissingArray(),
  };
  for (const WmiValue& value : values) {
    VARIANT variant;
    ::VariantInit(&variant);
    ASSERT_TRUE(WmiVariantFromValue(value, variant)) << int(value.type);
    const WmiValue back = WmiValueFromVariant(variant);
    EXPECT_EQ(back.type, value.type);
    EXPECT_EQ(back.int32, value.int32);
    EXPECT_EQ(back.string, value.string);
    EXPECT_EQ(back.bytes, value.bytes);
    if (value.type == WmiType::ByteArray) {
      EXPECT_EQ(variant.vt, VT_ARRAY | VT_UI1);
      LONG lower = -1;
      ::SafeArrayGetLBound(variant.parray, 1, &lower);
      EXPECT_EQ(lower, 0);
    }
    EXPECT_EQ(::VariantClear(&variant), S_OK);
  }
  WmiValue other;
  other.type = WmiType::Other;
  VARIANT variant;
  ::VariantInit(&variant);
  EXPECT_FALSE(WmiVariantFromValue(other, variant));
}

TEST(WmiComVariant, IntegersOfEveryWidthAndForeignTypes) {
  VARIANT variant;
  ::VariantInit(&variant);
  variant.vt = VT_UI1;
  variant.bVal = 0xF0;
  EXPECT_EQ(WmiValueFromVariant(variant).int32, 0xF0);
  variant.vt = VT_I2;
  variant.iVal = -3;
  EXPECT_EQ(WmiValueFromVariant(variant).int32, -3);
  variant.vt = VT_UI4;
  variant.ulVal = 0x80000001u;
  EXPECT_EQ(uint32_t(WmiValueFromVariant(variant).int32), 0x80000001u);
  variant.vt = VT_R8;
  variant.dblVal = 1.0;
  EXPECT_EQ(WmiValueFromVariant(variant).type, WmiType::Other);

  // An array of another element type, and a byte array of two dimensions, are not bytes.
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  variant.vt = VT_ARRAY | VT_I4;
  variant.parray = ::SafeArrayCreateVector(VT_I4, 0, 2);
  EXPECT_EQ(WmiValueFromVariant(variant).type, WmiType::Other);
  ::VariantClear(&variant);
  variant.vt = VT_ARRAY | VT_UI1;
  variant.parray = ::SafeArrayCreate(VT_UI1, 2, bounds);
  EXPECT_EQ(WmiValueFromVariant(variant).type, WmiType::Other);
  ::VariantClear(&variant);
}

TEST_F(WmiCom, MethodWithoutInParametersHasNoSignature) {
  std::unique_ptr<IWmiServices> services = Connect(L"root\\default");
  ASSERT_NE(services, nullptr);
  std::unique_ptr<IWmiObject> registry;
  ASSERT_TRUE(services->GetObjectByPath(L"StdRegProv", registry));
  EXPECT_TRUE(registry->GetMethod(L"GetStringValue", nullptr));
  std::unique_ptr<IWmiObject> signature;
  EXPECT_FALSE(registry->GetMethod(L"NoSuchMethod", &signature));
  std::unique_ptr<IWmiObject> missing;
  EXPECT_FALSE(services->GetObjectByPath(L"NoSuchClass", missing));
}

}  // namespace
