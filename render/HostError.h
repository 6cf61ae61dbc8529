// A host error code carried out of deep work (a missing suite, a refused call) to the command
// boundary, where it becomes the command's result.
#pragma once

#include "host/HostApi.h"

#include <exception>

class HostError : public std::exception {
public:
    explicit HostError(PF_Err code) : code_(code) {}
    PF_Err code() const { return code_; }
    const char* what() const noexcept override { return "host error"; }

private:
    PF_Err code_;
};
