// Scoped hold on one host suite, named by its table type alone: the name and version number
// come from the table's binding (render/SuiteTraits.h), so a table cannot be asked for under
// another suite's name. Acquired at construction, released under the same name and version when
// the holder goes. A required suite the host cannot give ends the command with
// A_Err_MISSING_SUITE; an optional one leaves the holder empty.
#pragma once

#include "host/HostApi.h"
#include "render/HostError.h"
#include "render/SuiteTraits.h"

// Asks for a suite the command can do without.
struct IfOffered {};

template <typename Suite> class SuiteHolder {
public:
    explicit SuiteHolder(SPBasicSuite* basic) : basic_(basic) {
        if (!acquire())
            throw HostError(A_Err_MISSING_SUITE);
    }
    SuiteHolder(SPBasicSuite* basic, IfOffered) : basic_(basic) { acquire(); }
    ~SuiteHolder() {
        if (suite_ != nullptr)
            basic_->ReleaseSuite(SuiteTraits<Suite>::name, SuiteTraits<Suite>::version);
    }
    SuiteHolder(const SuiteHolder&) = delete;
    SuiteHolder& operator=(const SuiteHolder&) = delete;

    const Suite* operator->() const { return suite_; }
    // Null only for an optional suite the host did not give.
    const Suite* get() const { return suite_; }

private:
    bool acquire() {
        const void* suite = nullptr;
        if (basic_ == nullptr || basic_->AcquireSuite == nullptr ||
            basic_->AcquireSuite(SuiteTraits<Suite>::name, SuiteTraits<Suite>::version, &suite) !=
                0 ||
            suite == nullptr)
            return false;
        suite_ = static_cast<const Suite*>(suite);
        return true;
    }

    SPBasicSuite* basic_;
    const Suite* suite_ = nullptr;
};
