#include "engine/controller_access.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/check_fixture.h"

namespace {

const std::wstring QUERY = L"WQL select * from SdkTbtController";
const std::wstring PATH = L"SdkTbtController.ControllerId=\"TBT\\\\Controller_0\"";

class ControllerAccess : public ControllerFixture {
 protected:
  CScriptedController& Connected() {
    return Connect(std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}, 0x55);
  }

  // Runs each wrapper once and returns their results: version, read, update.
  std::vector<UpdateResult> CallAll() {
    uint32_t version = 0;
    uint8_t bytes[4] = {};
    const uint8_t image[3] = {9, 8, 7};
    return {WmiGetCurrentNvmVersion(&version), WmiReadFirmware(0, 4, bytes),
            WmiUpdateFirmware(image, 3)};
  }
};

TEST_F(ControllerAccess, ConnectFailsWithoutLocatorOrNamespace) {
  CScriptedController& controller = Connected();
  EXPECT_EQ(controller.Script().calls.front(), L"CreateLocator");
  EXPECT_EQ(controller.Script().calls[1], L"ConnectServer ROOT\\Intel\\Thunderbolt");

  controller.Script().FailCall(L"CreateLocator");
  EXPECT_FALSE(WmiConnect());

  CScriptedController& other = Connected();
  other.Script().acceptedNamespace = L"root\\cimv2";
  EXPECT_FALSE(WmiConnect());
  EXPECT_EQ(g_wbemServices, nullptr);
  EXPECT_EQ(other.Script().Releases().back(), L"locator");
}

TEST_F(ControllerAccess, ANewConnectionReleasesTheOldOneFirst) {
  CScriptedController& controller = Connected();
  controller.Script().calls.clear();
  ASSERT_TRUE(WmiConnect());
  EXPECT_EQ(
      controller.Script().calls,
      (std::vector<std::wstring>{L"CreateLocator", L"Release services",
                                 L"ConnectServer ROOT\\Intel\\Thunderbolt", L"Release locator"}));
}

TEST_F(ControllerAccess, WithoutAConnectionEveryWrapperReportsNoSoftware) {
  g_wbemServices.reset();
  EXPECT_FALSE(WmiFindController());
  for (UpdateResult result : CallAll())
    EXPECT_EQ(result, UR_NO_TBT_SOFTWARE);
}

TEST_F(ControllerAccess, NoUsableControllerIdLeavesNoPath) {
  struct Case {
    const char* what;
    std::vector<WmiProperties> instances;
    const wchar_t* failing;
  };
  const Case cases[] = {
      {"query fails", {{{L"ControllerId", WmiValue::Str(L"x")}}}, L"ExecQuery"},
      {"Next fails", {{{L"ControllerId", WmiValue::Str(L"x")}}}, L"Next"},
      {"no instance", {}, nullptr},
      {"no ControllerId", {{{L"Name", WmiValue::Str(L"x")}}}, nullptr},
      {"Get fails", {{{L"ControllerId", WmiValue::Str(L"x")}}}, L"Get ControllerId"},
      {"ControllerId as a number", {{{L"ControllerId", WmiValue::Int(7)}}}, nullptr},
      {"ControllerId null", {{{L"ControllerId", WmiValue::Null()}}}, nullptr},
      {"ControllerId with a NUL",
       {{{L"ControllerId", WmiValue::Str(std::wstring(L"a\0b", 3))}}},
       nullptr},
      {"path too long", {{{L"ControllerId", WmiValue::Str(std::wstring(230, L'x'))}}}, nullptr},
      {"escaped path too long",
       {{{L"ControllerId", WmiValue::Str(std::wstring(200, L'x') + std::wstring(30, L'\\'))}}},
       nullptr},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connected();
    controller.Script().instances = c.instances;
    if (c.failing)
      controller.Script().FailCall(c.failing);
    EXPECT_FALSE(WmiFindController()) << c.what;
    EXPECT_EQ(g_controllerPath[0], 0) << c.what;
    for (UpdateResult result : CallAll())
      EXPECT_EQ(result, UR_NO_CONTROLLER) << c.what;
    EXPECT_EQ(controller.Script().Count(L"ExecMethod"), 0) << c.what;
  }
}

TEST_F(ControllerAccess, PathIsTheEscapedKeyOfTheFirstInstance) {
  CScriptedController& controller = Connected();
  controller.Script().instances.push_back({{L"ControllerId", WmiValue::Str(L"second")}});
  ASSERT_TRUE(WmiFindController());
  EXPECT_EQ(std::wstring(g_controllerPath), PATH);
  EXPECT_EQ(controller.Script().Count(L"Next"), 1);
  EXPECT_EQ(controller.Script().calls[3], L"ExecQuery " + QUERY);
  EXPECT_EQ(controller.Script().Releases().back(), L"enumerator");
  EXPECT_EQ(controller.Script().Releases().end()[-2], L"instance");

  uint32_t version = 0;
  EXPECT_EQ(WmiGetCurrentNvmVersion(&version), UR_OK);
  EXPECT_EQ(controller.Script().Count(L"ExecMethod " + PATH + L" GetCurrentNvmVersion"), 1);
}

TEST_F(ControllerAccess, LongestPathThatFitsIsKeptWhole) {
  // 32 characters of format around the key and the terminator leave room for 227.
  for (size_t length : {size_t(227), size_t(228)}) {
    CScriptedController& controller = Connected();
    controller.Script().instances = {
        {{L"ControllerId", WmiValue::Str(std::wstring(length, L'k'))}}};
    const bool fits = length == 227;
    EXPECT_EQ(WmiFindController(), fits) << length;
    EXPECT_EQ(std::wstring(g_controllerPath).size(), fits ? 32 + length : 0) << length;
  }
  // Escaping may not push a path that fits past the buffer either: 226 + one doubled fits.
  for (size_t length : {size_t(225), size_t(226)}) {
    CScriptedController& controller = Connected();
    controller.Script().instances = {
        {{L"ControllerId", WmiValue::Str(std::wstring(length, L'k') + L"\\")}}};
    const bool fits = length == 225;
    EXPECT_EQ(WmiFindController(), fits) << length;
    EXPECT_EQ(std::wstring(g_controllerPath).size(), fits ? 32 + length + 2 : 0) << length;
  }
}

TEST_F(ControllerAccess, AFoundPathStaysAndIsReusedByLaterAttempts) {
  CScriptedController& controller = Connected();
  uint32_t version = 0;
  ASSERT_EQ(WmiGetCurrentNvmVersion(&version), UR_OK);
  ASSERT_TRUE(WmiConnect());  // the second attempt
  ASSERT_EQ(WmiGetCurrentNvmVersion(&version), UR_OK);
  EXPECT_EQ(controller.Script().Count(L"ConnectServer"), 2);
  EXPECT_EQ(controller.Script().Count(L"ExecQuery"), 1);

  controller.Script().FailCall(L"ExecQuery");
  EXPECT_TRUE(WmiFindController());
  EXPECT_EQ(std::wstring(g_controllerPath), PATH);
}

TEST_F(ControllerAccess, ProviderUnavailableAtEachStepOfTheCall) {
  const wchar_t* steps[] = {L"GetObject", L"GetMethod", L"SpawnInstance", L"ExecMethod"};
  for (const wchar_t* step : steps) {
    CScriptedController& controller = Connected();
    ASSERT_TRUE(WmiFindController());
    controller.Script().FailCall(step);
    const std::vector<UpdateResult> results = CallAll();
    // GetCurrentNvmVersion spawns no in-parameters, so a failing SpawnInstance cannot stop it.
    const bool spawnOnly = std::wstring(step) == L"SpawnInstance";
    EXPECT_EQ(results[0], spawnOnly ? UR_OK : UR_NO_TBT_SOFTWARE) << step;
    EXPECT_EQ(results[1], UR_NO_TBT_SOFTWARE) << step;
    EXPECT_EQ(results[2], UR_NO_TBT_SOFTWARE) << step;
    EXPECT_TRUE(controller.written.empty()) << step;
  }
  for (const char* what : {"no out-parameters", "method missing"}) {
    CScriptedController& controller = Connected();
    for (auto& [name, method] : controller.Script().methods) {
      if (std::string(what) == "method missing") {
        method.handler = nullptr;
      } else {
        method.handler = [](auto&, auto&) { return WmiMethodReply{true, false, {}}; };
      }
    }
    for (UpdateResult result : CallAll())
      EXPECT_EQ(result, UR_NO_TBT_SOFTWARE) << what;
  }
}

TEST_F(ControllerAccess, ReleasesInReverseOrderOfAcquisition) {
  struct Case {
    const char* what;
    const wchar_t* failing;
    std::vector<std::wstring> releases;
  };
  const Case cases[] = {
      {"read", nullptr, {L"outParams", L"inParams", L"inSignature", L"class"}},
      {"spawn fails", L"SpawnInstance", {L"inSignature", L"class"}},
      {"exec fails", L"ExecMethod", {L"inParams", L"inSignature", L"class"}},
      {"method fails", L"GetMethod", {L"class"}},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connected();
    ASSERT_TRUE(WmiFindController());
    if (c.failing)
      controller.Script().FailCall(c.failing);
    controller.Script().calls.clear();
    uint8_t bytes[4];
    WmiReadFirmware(0, 4, bytes);
    EXPECT_EQ(controller.Script().Releases(), c.releases) << c.what;
  }
  CScriptedController& controller = Connected();
  ASSERT_TRUE(WmiFindController());
  controller.Script().calls.clear();
  uint32_t version = 0;
  WmiGetCurrentNvmVersion(&version);
  EXPECT_EQ(controller.Script().Releases(), (std::vector<std::wstring>{L"outParams", L"class"}));
  EXPECT_EQ(controller.Script().Count(L"SpawnInstance"), 0);
}

// Replies of the version method: what comes back, what the wrapper makes of it.
TEST_F(ControllerAccess, VersionReplies) {
  struct Case {
    const char* what;
    WmiProperties out;
    UpdateResult expected;
    uint32_t version;  // what the caller's variable holds afterwards (it starts at 0xAAAA)
  };
  const WmiValue null = WmiValue::Null();
  const Case cases[] = {
      {"success",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"NvmVersion", WmiValue::Int(0x16)}},
       UR_OK,
       0x16},
      {"provider code",
       {{L"ReturnValue", WmiValue::Int(-5)}, {L"NvmVersion", WmiValue::Int(3)}},
       0xFFFFFFFB,
       3},
      {"ReturnValue missing", {{L"NvmVersion", WmiValue::Int(3)}}, UR_NO_TBT_SOFTWARE, 3},
      {"ReturnValue null",
       {{L"ReturnValue", null}, {L"NvmVersion", WmiValue::Int(3)}},
       UR_NO_TBT_SOFTWARE,
       3},
      {"ReturnValue empty", {{L"ReturnValue", WmiValue{}}}, UR_NO_TBT_SOFTWARE, 0xAAAA},
      {"ReturnValue a string", {{L"ReturnValue", WmiValue::Str(L"0")}}, UR_NO_TBT_SOFTWARE, 0xAAAA},
      {"NvmVersion null",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"NvmVersion", null}},
       UR_OK,
       0xAAAA},
      {"NvmVersion missing", {{L"ReturnValue", WmiValue::Int(0)}}, UR_OK, 0xAAAA},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connected();
    controller.Script().methods[L"GetCurrentNvmVersion"].handler = [&](auto&, auto&) {
      return WmiMethodReply{true, true, c.out};
    };
    uint32_t version = 0xAAAA;
    EXPECT_EQ(WmiGetCurrentNvmVersion(&version), c.expected) << c.what;
    EXPECT_EQ(version, c.version) << c.what;
  }
}

TEST_F(ControllerAccess, ReadReplies) {
  struct Case {
    const char* what;
    WmiProperties out;
    UpdateResult expected;
    std::vector<uint8_t> destination;  // it starts as EE EE EE EE
  };
  const Case cases[] = {
      {"four bytes",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"data", WmiValue::Bytes({1, 2, 3, 4})}},
       UR_OK,
       {1, 2, 3, 4}},
      {"two bytes",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"data", WmiValue::Bytes({1, 2})}},
       UR_OK,
       {1, 2, 0xEE, 0xEE}},
      {"more than asked",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"data", WmiValue::Bytes({1, 2, 3, 4, 5, 6})}},
       UR_OK,
       {1, 2, 3, 4}},
      {"provider code still delivers",
       {{L"ReturnValue", WmiValue::Int(0x1043000E)}, {L"data", WmiValue::Bytes({5, 6, 7, 8})}},
       0x1043000E,
       {5, 6, 7, 8}},
      {"ReturnValue missing",
       {{L"data", WmiValue::Bytes({5, 6, 7, 8})}},
       UR_NO_TBT_SOFTWARE,
       {5, 6, 7, 8}},
      {"data not bytes",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"data", WmiValue::Int(4)}},
       UR_OK,
       {0xEE, 0xEE, 0xEE, 0xEE}},
      {"data without array",
       {{L"ReturnValue", WmiValue::Int(0)}, {L"data", WmiValue::MissingArray()}},
       UR_OK,
       {0xEE, 0xEE, 0xEE, 0xEE}},
  };
  for (const Case& c : cases) {
    CScriptedController& controller = Connected();
    WmiProperties in;
    controller.Script().methods[L"ReadFirmware"].handler = [&](auto&, const WmiProperties& got) {
      in = got;
      return WmiMethodReply{true, true, c.out};
    };
    std::vector<uint8_t> destination(4, 0xEE);
    uint32_t delivered = 99;
    EXPECT_EQ(WmiReadFirmware(0x1C, 4, destination.data(), &delivered), c.expected) << c.what;
    EXPECT_EQ(destination, c.destination) << c.what;
    EXPECT_EQ(in[L"offset"].type, WmiType::Int32);
    EXPECT_EQ(in[L"offset"].int32, 0x1C);
    EXPECT_EQ(in[L"length"].int32, 4);
  }
}

TEST_F(ControllerAccess, UpdateSendsTheWholeImageInOneCall) {
  CScriptedController& controller = Connected();
  controller.updateReturnValue = 0x1234;
  std::vector<uint8_t> image(5000);
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(i * 7);
  EXPECT_EQ(WmiUpdateFirmware(image.data(), uint32_t(image.size())), 0x1234u);
  EXPECT_EQ(controller.written, image);
  EXPECT_EQ(controller.writtenSize, 5000);
  EXPECT_EQ(controller.Script().Count(L"ExecMethod"), 1);
}

TEST_F(ControllerAccess, FailedPutsAreIgnoredAndTheProviderDecides) {
  CScriptedController& controller = Connected();
  controller.Script().FailCall(L"Put offset");
  uint8_t bytes[4] = {};
  EXPECT_EQ(WmiReadFirmware(0, 4, bytes), SCRIPTED_BAD_PARAMETER);
  EXPECT_EQ(controller.Script().Count(L"ExecMethod"), 1);
}

TEST(EscapeBackslashes, CopiesDoublingEveryBackslashWithinTheCapacity) {
  struct Case {
    const wchar_t* source;
    uint32_t capacity;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"ab\\cd", 5, L"ab\\\\"},   {L"abc\\d", 5, L"abc\\"},
      {L"a\\b", 260, L"a\\\\b"},   {L"", 5, L""},
      {L"abcdef", 1, L""},         {L"abcdef", 4, L"abc"},
      {L"\\\\", 260, L"\\\\\\\\"}, {L"x\"\\\"y", 260, L"x\"\\\\\"y"},
  };
  for (const Case& c : cases) {
    wchar_t destination[300];
    std::fill(std::begin(destination), std::end(destination), L'#');
    EscapeBackslashes(c.source, destination, c.capacity);
    EXPECT_EQ(std::wstring(destination), c.expected) << c.capacity;
    EXPECT_EQ(destination[c.expected.size() + 1], L'#') << "nothing past the terminator";
  }
  wchar_t untouched[4] = {L'#', L'#', 0, 0};
  EscapeBackslashes(nullptr, untouched, 4);
  EscapeBackslashes(L"a", untouched, 0);
  EscapeBackslashes(L"a", nullptr, 4);
  EXPECT_EQ(std::wstring(untouched), L"##");
}

}  // namespace
