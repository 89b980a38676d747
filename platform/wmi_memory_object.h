#pragma once
// WMI objects held in the process, for the providers that are not the system's (the emulated
// notebook, the Linux kernel back end): instances, classes, signatures and parameter objects
// alike are named values, and a class has its methods with the names of their in-parameters.
#include <map>
#include <set>
#include <string>

#include "platform/wmi_model.h"

class CWmiMemoryObject final : public IWmiObject {
 public:
  using Methods = std::map<std::wstring, std::set<std::wstring>>;

  explicit CWmiMemoryObject(std::set<std::wstring> declared = {}, Methods methods = {})
      : m_declared(std::move(declared)), m_methods(std::move(methods)) {}

  bool Get(const wchar_t* name, WmiValue& value) override;
  bool Put(const wchar_t* name, const WmiValue& value) override;
  bool GetMethod(const wchar_t* name, std::unique_ptr<IWmiObject>* inSignature) override;
  bool SpawnInstance(std::unique_ptr<IWmiObject>& instance) override;
  void Set(const wchar_t* name, const WmiValue& value) { m_values[name] = value; }

 private:
  std::set<std::wstring> m_declared;
  Methods m_methods;
  std::map<std::wstring, WmiValue> m_values;
};

// One instance, then the end.
class CWmiSingleEnumerator final : public IWmiEnumerator {
 public:
  explicit CWmiSingleEnumerator(std::unique_ptr<IWmiObject> only) : m_next(std::move(only)) {}
  bool Next(std::unique_ptr<IWmiObject>& object) override {
    if (!m_next)
      return false;
    object = std::move(m_next);
    return true;
  }

 private:
  std::unique_ptr<IWmiObject> m_next;
};
