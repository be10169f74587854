#include "sim/SimNullTerminal.h"

#include <new>

#include "sim/SimClassIds.h"
#include "sim/SimObjectCreation.h"
#include "sim/SimControl.h"

HRESULT SimNullTerminal::Create(IUnknown* outer, REFIID iid, void** object) {
    (void)outer;
    HRESULT hr = S_OK;
    return HandOutNewObject(new (std::nothrow) SimNullTerminal(&hr), &hr, iid, object);
}

SimNullTerminal::SimNullTerminal(HRESULT* result)
    : CBaseFilter(nullptr, nullptr, CLSID_SimNullTerminal), pin_(this, result) {
    SimProcessControl()->Counters()->Created(SimObject::NullTerminal);
}

SimNullTerminal::~SimNullTerminal() {
    SimProcessControl()->Counters()->Destroyed(SimObject::NullTerminal);
}

HRESULT STDMETHODCALLTYPE SimNullTerminal::QueryInterface(REFIID iid, void** object) {
    return GetOwner()->QueryInterface(iid, object);
}
ULONG STDMETHODCALLTYPE SimNullTerminal::AddRef() { return GetOwner()->AddRef(); }
ULONG STDMETHODCALLTYPE SimNullTerminal::Release() { return GetOwner()->Release(); }

HRESULT STDMETHODCALLTYPE SimNullTerminal::NonDelegatingQueryInterface(REFIID iid,
                                                                       void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IAMFilterMiscFlags)
        return GetInterface(static_cast<IAMFilterMiscFlags*>(this), object);
    return CBaseFilter::NonDelegatingQueryInterface(iid, object);
}

ULONG STDMETHODCALLTYPE SimNullTerminal::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

CBasePin* SimNullTerminal::GetPin(int n) { return n == 0 ? &pin_ : nullptr; }

HRESULT SimNullTerminal::OnJoinFilterGraph(IFilterGraph* graph) {
    if (graph != nullptr) return S_OK;
    return SimProcessControl()->DefaultDevice()->CheckFilterFault(SimOp::LeaveGraph);
}
