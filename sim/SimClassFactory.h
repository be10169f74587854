// The class factory that DllGetClassObject hands out for each class of
// TesselSim.dll. Windows only.
#pragma once

#include <atomic>

#include <windows.h>
#include <unknwn.h>

#include "sim/SimModule.h"

// Creates one object of a class and queries it for `iid`. The caller owns
// the reference written to *object.
typedef HRESULT (*SimCreateFunction)(IUnknown* outer, REFIID iid, void** object);

class SimClassFactory final : public IClassFactory {
public:
    // Starts with a reference count of 1, owned by the caller.
    explicit SimClassFactory(SimCreateFunction create);
    SimClassFactory(const SimClassFactory&) = delete;
    SimClassFactory& operator=(const SimClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // Aggregation is not supported: a non-null outer gives CLASS_E_NOAGGREGATION.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~SimClassFactory() = default;

    std::atomic<ULONG> references_{1};
    SimCreateFunction create_;
    SimModuleObject moduleObject_;
};
