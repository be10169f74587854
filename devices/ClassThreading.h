// ClassThreading: the threading model a COM class is registered with
// (HKCR\CLSID\{clsid}\InprocServer32, value "ThreadingModel"). Objects of a
// class registered "Both" or "Free" can be made and called from any
// apartment directly; any other model ("Apartment", none at all) ties them
// to the apartment that made them, and a call from another one waits for
// that apartment's thread. Windows only.
#pragma once

#include <windows.h>

#include <string>

enum class ClassThreading { Both, Free, Apartment, Neutral, Single, Unregistered };

struct ClassThreadingInfo {
    ClassThreading Model = ClassThreading::Unregistered;
    std::wstring Text;  // the value as registered ("" when none)
};

// What the registry says of `clsid`.
ClassThreadingInfo ReadClassThreading(const GUID& clsid);
// Objects of the class may be used from the multithreaded apartment and
// from a host's single-threaded one alike.
bool AnyApartment(ClassThreading model);
// "{9365A8E3-...}" for `clsid`.
std::wstring ClassIdText(const GUID& clsid);
