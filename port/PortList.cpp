#include "port/PortList.h"

#include <mutex>
#include <vector>

namespace port {

namespace {

struct Registry {
    std::recursive_mutex lock;
    std::vector<TBaseDispatcher*> slots;
    int32_t cachedHandle = -1;
    TBaseDispatcher* cached = nullptr;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void LockPortList() {
    TheRegistry().lock.lock();
}
void UnlockPortList() {
    TheRegistry().lock.unlock();
}

int32_t PortListCount() {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    return static_cast<int32_t>(r.slots.size());
}

TBaseDispatcher* PortListAt(int32_t Handle) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    if (Handle < 0 || Handle >= static_cast<int32_t>(r.slots.size())) return nullptr;
    return r.slots[static_cast<size_t>(Handle)];
}

TBaseDispatcher* GetTComRecPtr(int32_t Handle) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    if (Handle == r.cachedHandle && r.cached) return r.cached;
    TBaseDispatcher* found = PortListAt(Handle);
    if (found) {
        r.cachedHandle = Handle;
        r.cached = found;
    }
    return found;
}

int32_t AddToPortList(TBaseDispatcher* Dispatcher) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    for (size_t i = 0; i < r.slots.size(); ++i) {
        if (!r.slots[i]) {
            r.slots[i] = Dispatcher;
            return static_cast<int32_t>(i);
        }
    }
    r.slots.push_back(Dispatcher);
    return static_cast<int32_t>(r.slots.size() - 1);
}

void RemoveFromPortList(int32_t Handle) {
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    if (Handle < 0 || Handle >= static_cast<int32_t>(r.slots.size())) return;
    if (r.cachedHandle == Handle) {
        r.cachedHandle = -1;
        r.cached = nullptr;
    }
    r.slots[static_cast<size_t>(Handle)] = nullptr;
    while (!r.slots.empty() && !r.slots.back())
        r.slots.pop_back();
}

} // namespace port
