// Host operations report failure by throwing; tests arm any operation by
// name so that the plug-in's failure paths can be reached.
#pragma once

#include <stdexcept>
#include <string>

namespace host {

class host_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Fault_plan {
public:
    // The operation throws on its (skip + 1)-th call from now on, `times` times.
    void arm(std::string const& operation, int skip = 0, int times = 1);
    void clear();
    // Called at the start of every host operation.
    void check(char const* operation)
    {
        if (armed_)
            check_armed(operation);
    }
    // How often an armed operation has thrown so far.
    int fired() const { return fired_; }

private:
    void check_armed(char const* operation);

    bool armed_ = false;
    std::string operation_;
    int skip_ = 0;
    int times_ = 0;
    int fired_ = 0;
};

// One plan for the whole host process.
inline Fault_plan fault_plan;
inline Fault_plan& faults() { return fault_plan; }

inline void check(char const* operation) { faults().check(operation); }

}  // namespace host
