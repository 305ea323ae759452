// The faults room (host/faults): fault injection for tests and the call
// log, and the reference counting of host-owned objects. It uses nothing of
// the host but the shared interfaces in include/; every other room uses it.
//
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

// True while a fault is armed or calls are recorded: host operations then
// take the slow path of check(); otherwise it costs one test.
inline bool hooks_active = false;
inline void update_hooks();

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
    bool armed() const { return armed_; }

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
    // named: operations that change a shape carry its path ("shape.remove_skin root/grp").
    void start(bool named = false)
    {
        calls_.clear();
        recording_ = true;
        named_ = named;
        update_hooks();
    }
    bool named() const { return recording_ && named_; }
    // Adds the shape's path to the operation just noted.
    void name_last(std::string const& path)
    {
        if (named() && !calls_.empty())
            calls_.back() += " " + path;
    }
    std::vector<std::string> stop()
    {
        recording_ = false;
        update_hooks();
        return std::move(calls_);
    }
    bool recording() const { return recording_; }
    void note(char const* operation)
    {
        if (recording_)
            calls_.emplace_back(operation);
    }

private:
    bool recording_ = false;
    bool named_ = false;
    std::vector<std::string> calls_;
};

// One plan and one log for the whole host process.
inline Fault_plan fault_plan;
inline Fault_plan& faults() { return fault_plan; }
inline Call_log call_log;
inline Call_log& calls() { return call_log; }

inline void update_hooks() { hooks_active = faults().armed() || calls().recording(); }

// Called at the start of every host operation: noted, then maybe made to fail.
inline void check(char const* operation)
{
    if (hooks_active) {
        calls().note(operation);
        faults().check(operation);
    }
}

}  // namespace host
