#include "faults.h"

namespace host {

void Fault_plan::arm(std::string const& operation, int skip, int times)
{
    operation_ = operation;
    skip_ = skip;
    times_ = times;
    fired_ = 0;
    armed_ = times > 0;
    update_hooks();
}

void Fault_plan::clear()
{
    armed_ = false;
    operation_.clear();
    fired_ = 0;
    update_hooks();
}

void Fault_plan::check_armed(char const* operation)
{
    if (operation_ != operation)
        return;
    if (skip_ > 0) {
        --skip_;
        return;
    }
    if (times_ <= 0)
        return;
    --times_;
    ++fired_;
    if (times_ == 0) {
        armed_ = false;
        update_hooks();
    }
    throw host_error(std::string("injected failure in ") + operation);
}

}  // namespace host
