// For tests of code with several vector forms: the forms this processor
// runs, and a guard that puts the form in use back when a test is done.
#ifndef CORVELLA_CPU_FORMS_TESTING_H
#define CORVELLA_CPU_FORMS_TESTING_H

#include <vector>

#include "cpu_form.h"

inline std::vector<CpuForm> runnable_cpu_forms()
{
    CpuForm forms[CPU_FORM_COUNT];
    int n = cpu_forms_available(forms);
    return std::vector<CpuForm>(forms, forms + n);
}

class CpuFormGuard {
public:
    CpuFormGuard() : saved_(cpu_form()) {}
    ~CpuFormGuard() { cpu_form_force(saved_); }
    CpuFormGuard(const CpuFormGuard &) = delete;
    CpuFormGuard &operator=(const CpuFormGuard &) = delete;

private:
    CpuForm saved_;
};

#endif
