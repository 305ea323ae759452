// Formatting of looked-up texts and trace lines.
#pragma once

#include <string>

#include <boost/format.hpp>

// Puts the arguments in for the format's marks in order. A translation with
// more or fewer marks than arguments gives what it can instead of throwing.
template <class... Args>
std::string format_text(char const* format, Args const&... args)
{
    boost::format f(format ? format : "");
    f.exceptions(boost::io::no_error_bits);
    (f % ... % args);
    return f.str();
}
