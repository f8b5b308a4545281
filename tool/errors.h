// What can go wrong, by kind; each kind ends the tool with its own exit status (main.cpp).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

// A command line that cannot be understood, or a value the document shows to be wrong; the
// message names the offending word. Exit status 2.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The document cannot be imposed (unreadable, nothing selected, ...). Exit status 1.
struct ImposeError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// -sheets asked only for sheets past the end; `sheets` is how many the document makes.
struct NoSuchSheet : ImposeError
{
    NoSuchSheet(const std::string &message, size_t count) : ImposeError(message), sheets(count) {}
    size_t sheets;
};

// The layout leaves no room for the pages. Exit status 1.
struct LayoutError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The output could not be written; the message names it and the system's reason. Exit status 1.
struct OutputError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
