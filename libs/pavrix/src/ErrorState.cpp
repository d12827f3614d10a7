#include "ErrorState.h"

namespace pavrix {

namespace {
thread_local int t_code = 0;
thread_local std::string t_desc;
} // namespace

void ErrorState::set(int code, const std::string& desc)
{
    t_code = code;
    t_desc = desc;
}

void ErrorState::clear()
{
    t_code = 0;
    t_desc.clear();
}

int ErrorState::code()
{
    return t_code;
}

const char* ErrorState::desc()
{
    return t_desc.c_str();
}

} // namespace pavrix
