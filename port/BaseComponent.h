#pragma once
// The base of the port layer's components: a name, a tag, the library version and the
// component state that tells whether the component is being loaded from its stored
// form or designed (while loading, error codes are not raised, see CheckException).
#include <cstdint>
#include <string>

namespace port {

class TBaseComponent {
  public:
    enum ComponentStateFlags : uint32_t {
        csLoading = 1u << 0,
        csDesigning = 1u << 1,
        csDestroying = 1u << 2,
    };

    virtual ~TBaseComponent() = default;

    bool IsLoading() const { return (ComponentState & csLoading) != 0; }
    bool IsDesigning() const { return (ComponentState & csDesigning) != 0; }
    bool IsDestroying() const { return (ComponentState & csDestroying) != 0; }

    static const char* Version() { return "1.0"; }

    std::string Name;
    int32_t Tag = 0;
    uint32_t ComponentState = 0;
};

} // namespace port
