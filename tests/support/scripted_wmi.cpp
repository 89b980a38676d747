#include "tests/support/scripted_wmi.h"

namespace {

using ScriptPtr = std::shared_ptr<WmiScript>;

// Logs its own release so that tests can check the order of releases.
class CReleaseRecord {
 public:
  CReleaseRecord(ScriptPtr script, std::wstring tag)
      : m_script(std::move(script)), m_tag(std::move(tag)) {}
  ~CReleaseRecord() {
    if (m_script->recordCalls)
      m_script->calls.push_back(L"Release " + m_tag);
  }
  CReleaseRecord(const CReleaseRecord&) = delete;
  CReleaseRecord& operator=(const CReleaseRecord&) = delete;

 protected:
  WmiScript& Script() { return *m_script; }
  const ScriptPtr& SharedScript() { return m_script; }

 private:
  ScriptPtr m_script;
  std::wstring m_tag;
};

class CScriptedObject final : public IWmiObject, CReleaseRecord {
 public:
  CScriptedObject(ScriptPtr script, std::wstring tag, WmiProperties properties,
                  bool strictPut = false)
      : CReleaseRecord(std::move(script), std::move(tag)),
        m_properties(std::move(properties)),
        m_strictPut(strictPut) {}

  bool Get(const wchar_t* name, WmiValue& value) override {
    if (Script().Record(L"Get", name))
      return false;
    const auto found = m_properties.find(name);
    if (found == m_properties.end())
      return false;
    value = found->second;
    return true;
  }

  bool Put(const wchar_t* name, const WmiValue& value) override {
    if (Script().Record(L"Put", name))
      return false;
    // Like WMI, an instance of a method's in-parameters has only the signature's properties.
    if (m_strictPut && m_properties.find(name) == m_properties.end())
      return false;
    m_properties[name] = value;
    return true;
  }

  bool GetMethod(const wchar_t* name, std::unique_ptr<IWmiObject>* inSignature) override {
    if (Script().Record(L"GetMethod", name))
      return false;
    const auto method = Script().methods.find(name);
    if (method == Script().methods.end())
      return false;
    if (!inSignature)
      return true;
    inSignature->reset();
    if (method->second.inParams.empty())
      return true;
    WmiProperties signature;
    for (const std::wstring& param : method->second.inParams)
      signature[param] = WmiValue{};
    *inSignature = std::make_unique<CScriptedObject>(SharedScript(), L"inSignature", signature);
    return true;
  }

  bool SpawnInstance(std::unique_ptr<IWmiObject>& instance) override {
    if (Script().Record(L"SpawnInstance"))
      return false;
    instance = std::make_unique<CScriptedObject>(SharedScript(), L"inParams", m_properties, true);
    return true;
  }

  const WmiProperties& Properties() const { return m_properties; }

 private:
  WmiProperties m_properties;
  bool m_strictPut;
};

class CScriptedEnumerator final : public IWmiEnumerator, CReleaseRecord {
 public:
  explicit CScriptedEnumerator(ScriptPtr script)
      : CReleaseRecord(std::move(script), L"enumerator") {}

  bool Next(std::unique_ptr<IWmiObject>& object) override {
    if (Script().Record(L"Next"))
      return false;
    if (m_next >= Script().instances.size())
      return false;
    object = std::make_unique<CScriptedObject>(SharedScript(), L"instance",
                                               Script().instances[m_next++]);
    return true;
  }

 private:
  size_t m_next = 0;
};

class CScriptedServices final : public IWmiServices, CReleaseRecord {
 public:
  explicit CScriptedServices(ScriptPtr script) : CReleaseRecord(std::move(script), L"services") {}

  bool ExecQuery(const wchar_t* language, const wchar_t* query,
                 std::unique_ptr<IWmiEnumerator>& result) override {
    if (Script().Record(L"ExecQuery", std::wstring(language) + L" " + query))
      return false;
    result = std::make_unique<CScriptedEnumerator>(SharedScript());
    return true;
  }

  bool GetObjectByPath(const wchar_t* path, std::unique_ptr<IWmiObject>& object) override {
    if (Script().Record(L"GetObject", path))
      return false;
    if (Script().className != path)
      return false;
    object = std::make_unique<CScriptedObject>(SharedScript(), L"class", WmiProperties{});
    return true;
  }

  bool ExecMethod(const wchar_t* path, const wchar_t* method, IWmiObject* inParams,
                  std::unique_ptr<IWmiObject>& outParams) override {
    if (Script().Record(L"ExecMethod", std::wstring(path) + L" " + method))
      return false;
    const auto found = Script().methods.find(method);
    if (found == Script().methods.end() || !found->second.handler)
      return false;
    WmiProperties in;
    if (auto* scripted = dynamic_cast<CScriptedObject*>(inParams))
      in = scripted->Properties();
    WmiMethodReply reply = found->second.handler(path, in);
    if (!reply.succeeds)
      return false;
    if (reply.hasOutParams) {
      outParams = std::make_unique<CScriptedObject>(SharedScript(), L"outParams", reply.out);
    }
    return true;
  }
};

class CScriptedLocator final : public IWmiLocator, CReleaseRecord {
 public:
  explicit CScriptedLocator(ScriptPtr script) : CReleaseRecord(std::move(script), L"locator") {}

  bool ConnectServer(const wchar_t* nameSpace, std::unique_ptr<IWmiServices>& services) override {
    if (Script().Record(L"ConnectServer", nameSpace))
      return false;
    if (Script().acceptedNamespace != nameSpace)
      return false;
    services = std::make_unique<CScriptedServices>(SharedScript());
    return true;
  }
};

}  // namespace

int WmiScript::Count(const std::wstring& prefix) const {
  int count = 0;
  for (const std::wstring& call : calls)
    count += call.starts_with(prefix);
  return count;
}

std::vector<std::wstring> WmiScript::Releases() const {
  const std::wstring prefix = L"Release ";
  std::vector<std::wstring> releases;
  for (const std::wstring& call : calls) {
    if (call.starts_with(prefix))
      releases.push_back(call.substr(prefix.size()));
  }
  return releases;
}

bool WmiScript::Record(const std::wstring& kind, const std::wstring& argument) {
  if (!recordCalls && failures.empty())
    return false;
  const std::wstring full = argument.empty() ? kind : kind + L" " + argument;
  calls.push_back(full);
  bool fails = false;
  for (const std::wstring& name : {kind, full}) {
    const int occurrence = ++seen[name];
    const auto failure = failures.find(name);
    if (failure != failures.end() && (failure->second == 0 || failure->second == occurrence)) {
      fails = true;
    }
    if (name == full)
      break;
  }
  return fails;
}

std::unique_ptr<IWmiLocator> CScriptedWmi::CreateLocator() {
  if (m_script->Record(L"CreateLocator"))
    return nullptr;
  return std::make_unique<CScriptedLocator>(m_script);
}
