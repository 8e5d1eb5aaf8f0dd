// This file contains the COM server around the imaging decoder: the count of
// its live objects, its class factory, and the DLL's entry points that COM
// calls to make objects and to ask whether the DLL may be unloaded.
#include "wic/wic_server.h"

#include <atomic>
#include <new>

namespace {

// Live objects and server locks: while any is held the DLL stays loaded.
std::atomic<long> g_references{0};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The factory is one object for the life of the DLL: its count is the
  // server's.
  ULONG STDMETHODCALLTYPE AddRef() override {
    AddServerReference();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ReleaseServerReference();
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IWICBitmapDecoder* decoder = NewDecoder();
    if (decoder == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = decoder->QueryInterface(iid, object);
    decoder->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      AddServerReference();
    } else {
      ReleaseServerReference();
    }
    return S_OK;
  }
};

// Holds no state of its own: one for the DLL's life, made at load.
Factory g_factory;

}  // namespace

void AddServerReference() { ++g_references; }
void ReleaseServerReference() { --g_references; }

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID type, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (type != kDecoderClass) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return g_references.load() == 0 ? S_OK : S_FALSE;
}
