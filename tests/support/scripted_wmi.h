#pragma once
// An in-process WMI provider for tests: scripted instances, methods and replies, a failure at
// any given call, and a record of every call and release in the order they happened.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/wmi_model.h"

using WmiProperties = std::map<std::wstring, WmiValue>;

struct WmiMethodReply {
  bool succeeds = true;  // what ExecMethod itself reports
  bool hasOutParams = true;
  WmiProperties out;
};

using WmiMethodHandler =
    std::function<WmiMethodReply(const std::wstring& path, const WmiProperties& in)>;

struct WmiScriptedMethod {
  std::vector<std::wstring> inParams;  // empty: the method has no in-parameter signature
  WmiMethodHandler handler;
};

struct WmiScript {
  std::wstring acceptedNamespace = L"ROOT\\Intel\\Thunderbolt";
  std::wstring className = L"SdkTbtController";
  std::vector<WmiProperties> instances;  // what every query enumerates, in order
  std::map<std::wstring, WmiScriptedMethod> methods;

  // Makes a call fail. name is a call's kind ("GetMethod") or kind and argument
  // ("Get ReturnValue"); occurrence counts calls of that name from 1, 0 fails every one.
  void FailCall(const std::wstring& name, int occurrence = 0) { failures[name] = occurrence; }

  bool recordCalls = true;  // off for fuzzing, where the record would only cost time
  // Every call and release so far: "ExecMethod <path> <method>", "Release outParams", ...
  std::vector<std::wstring> calls;
  int Count(const std::wstring& prefix) const;
  // The records that start with "Release ", in order, without that prefix.
  std::vector<std::wstring> Releases() const;

  // Records a call and tells whether the script makes it fail.
  bool Record(const std::wstring& kind, const std::wstring& argument = {});

 private:
  std::map<std::wstring, int> failures;
  std::map<std::wstring, int> seen;
};

class CScriptedWmi final : public IWmi {
 public:
  CScriptedWmi() : m_script(std::make_shared<WmiScript>()) {}
  WmiScript& Script() { return *m_script; }
  std::unique_ptr<IWmiLocator> CreateLocator() override;

 private:
  // Shared with every object handed out: a connection may outlive the test's provider.
  std::shared_ptr<WmiScript> m_script;
};
