// Exception types of the system. Every error carries its message text, which is what the
// boundary of a unit of work logs or shows; the types only tell the kinds apart.
#pragma once

#include <stdexcept>
#include <string>

// Any error of the system that is not one of the more specific kinds below.
class ETarnoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value could not be converted or an object was assigned from the wrong class.
class EConvertError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

// An index outside the bounds of a fixed array (slots 0..63 and the like).
class ERangeError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

// An operating-system call failed; the message holds the call's context and the system text.
class EOSError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

// The system's message for errno value Error ("No such file or directory", ...).
std::string SysErrorMessage(int Error);
