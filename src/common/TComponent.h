#pragma once

namespace kestrune {

// Base of every pipeline part and controller that an owner creates, wires
// together through properties and frees. Event callbacks receive the sending
// component first.
class TComponent {
public:
    TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    virtual ~TComponent() = default;
};

} // namespace kestrune
