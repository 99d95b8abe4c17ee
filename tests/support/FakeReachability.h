#pragma once

#include "platform/Reachability.h"

// A reachability a test sets by hand. Install it before the code under test
// asks: Reachability::setShared(std::make_unique<FakeReachability>(false)).
class FakeReachability : public Reachability {
    Q_OBJECT
public:
    explicit FakeReachability(bool initial = true) : Reachability(initial) {}
    using Reachability::setReachable;
};
