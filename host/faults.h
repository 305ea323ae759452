// Host operations report failure by throwing; tests arm any operation by
// name so that the plug-in's failure paths can be reached.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

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

// The host operations called while recording, by name in call order, so
// that tests can see the order of calls the plug-in makes.
class Call_log {
public:
    void start()
    {
        calls_.clear();
        recording_ = true;
    }
    std::vector<std::string> stop()
    {
        recording_ = false;
        return std::move(calls_);
    }
    void note(char const* operation)
    {
        if (recording_)
            calls_.emplace_back(operation);
    }

private:
    bool recording_ = false;
    std::vector<std::string> calls_;
};

// One plan and one log for the whole host process.
inline Fault_plan fault_plan;
inline Fault_plan& faults() { return fault_plan; }
inline Call_log call_log;
inline Call_log& calls() { return call_log; }

// Called at the start of every host operation: noted, then maybe made to fail.
inline void check(char const* operation)
{
    calls().note(operation);
    faults().check(operation);
}

}  // namespace host
