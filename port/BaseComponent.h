#pragma once
// The base of the port layer's components: a name, a tag, the library version and the
// component state that tells whether the component is being loaded from its stored
// form or designed (while loading, error codes are not raised, see CheckException).
//
// A component may have an owner and then is one of the owner's components, in the
// order they were given to it. The link does not own: each component's own holder
// frees it. A component that goes leaves its owner's list, and its own components are
// then without an owner.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace port {

class TBaseComponent {
  public:
    enum ComponentStateFlags : uint32_t {
        csLoading = 1u << 0,
        csDesigning = 1u << 1,
        csDestroying = 1u << 2,
    };

    TBaseComponent() = default;
    // A copy has the same name, tag and state, and neither owner nor components.
    TBaseComponent(const TBaseComponent& Other)
        : Name(Other.Name), Tag(Other.Tag), ComponentState(Other.ComponentState) {}
    TBaseComponent& operator=(const TBaseComponent& Other) {
        Name = Other.Name;
        Tag = Other.Tag;
        ComponentState = Other.ComponentState;
        return *this;
    }
    virtual ~TBaseComponent() {
        SetOwner(nullptr);
        for (TBaseComponent* C : OwnedComponents)
            C->OwnerComponent = nullptr;
    }

    TBaseComponent* GetOwner() const { return OwnerComponent; }
    // Moves this component to the end of NewOwner's components (none: to no owner).
    void SetOwner(TBaseComponent* NewOwner) {
        if (OwnerComponent) std::erase(OwnerComponent->OwnedComponents, this);
        OwnerComponent = NewOwner;
        if (NewOwner) NewOwner->OwnedComponents.push_back(this);
    }
    const std::vector<TBaseComponent*>& Components() const { return OwnedComponents; }

    bool IsLoading() const { return (ComponentState & csLoading) != 0; }
    bool IsDesigning() const { return (ComponentState & csDesigning) != 0; }
    bool IsDestroying() const { return (ComponentState & csDestroying) != 0; }

    static const char* Version() { return "1.0"; }

    std::string Name;
    int32_t Tag = 0;
    uint32_t ComponentState = 0;

  private:
    TBaseComponent* OwnerComponent = nullptr;
    std::vector<TBaseComponent*> OwnedComponents;
};

} // namespace port
