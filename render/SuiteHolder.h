// Scoped hold on one host suite: acquired by name and version at construction, released under
// the same name and version when the holder goes. A suite the host cannot give ends the
// command with A_Err_MISSING_SUITE.
#pragma once

#include "host/HostApi.h"
#include "render/HostError.h"

template <typename Suite> class SuiteHolder {
public:
    SuiteHolder(SPBasicSuite* basic, const char* name, A_long version)
        : basic_(basic), name_(name), version_(version) {
        const void* suite = nullptr;
        if (basic_ == nullptr || basic_->AcquireSuite == nullptr ||
            basic_->AcquireSuite(name_, version_, &suite) != 0 || suite == nullptr) {
            throw HostError(A_Err_MISSING_SUITE);
        }
        suite_ = static_cast<const Suite*>(suite);
    }
    ~SuiteHolder() {
        if (suite_ != nullptr)
            basic_->ReleaseSuite(name_, version_);
    }
    SuiteHolder(const SuiteHolder&) = delete;
    SuiteHolder& operator=(const SuiteHolder&) = delete;

    const Suite* operator->() const { return suite_; }
    const Suite* get() const { return suite_; }

private:
    SPBasicSuite* basic_;
    const char* name_;
    A_long version_;
    const Suite* suite_ = nullptr;
};
