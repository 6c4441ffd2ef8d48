#pragma once
// PortList: the process-wide registry of live dispatchers. A dispatcher's PortHandle is
// its slot; notification messages carry that handle (in the high word of lParam) so a
// window procedure finds the dispatcher, and through its Owner the component, without
// keeping a pointer across threads. A freed slot is reused by the next dispatcher;
// empty slots at the end of the list are dropped.
//
// Any thread. The lock is recursive: the lookups may be called while holding it.
#include <cstdint>

namespace port {

class TBaseDispatcher;

void LockPortList();
void UnlockPortList();

class TPortListLock {
  public:
    TPortListLock() { LockPortList(); }
    ~TPortListLock() { UnlockPortList(); }
    TPortListLock(const TPortListLock&) = delete;
    TPortListLock& operator=(const TPortListLock&) = delete;
};

// Under the lock: the number of slots and the dispatcher in a slot (null when empty or
// out of range).
int32_t PortListCount();
TBaseDispatcher* PortListAt(int32_t Handle);

// The dispatcher in slot Handle, or null. Keeps a one-entry cache of the last lookup.
TBaseDispatcher* GetTComRecPtr(int32_t Handle);
// The same, only when the dispatcher is of class T (or derived from it).
template <class T> T* GetTComRecPtr(int32_t Handle) {
    return dynamic_cast<T*>(GetTComRecPtr(Handle));
}

// Used by the dispatcher's constructor and destructor.
int32_t AddToPortList(TBaseDispatcher* Dispatcher);
void RemoveFromPortList(int32_t Handle);

} // namespace port
