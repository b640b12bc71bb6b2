#include "cpu_form.h"

#include <stdlib.h>
#include <string.h>

static const char *const form_names[CPU_FORM_COUNT] = { "generic", "avx2", "avx512" };

/* The form in use plus one; 0 until the first call decides.  Atomic: the
 * decision may race between threads, which all reach the same value. */
static int form_in_use;

int cpu_form_runs(CpuForm form)
{
    switch (form) {
    case CPU_FORM_GENERIC:
        return 1;
#if CPU_HAVE_X86_FORMS
    case CPU_FORM_AVX2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case CPU_FORM_AVX512:
        __builtin_cpu_init();
        return cpu_form_runs(CPU_FORM_AVX2) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512cd") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl");
#endif
    default:
        return 0;
    }
}

int cpu_forms_available(CpuForm *forms)
{
    int n = 0;
    for (int f = 0; f < CPU_FORM_COUNT; f++)
        if (cpu_form_runs((CpuForm)f))
            forms[n++] = (CpuForm)f;
    return n;
}

const char *cpu_form_name(CpuForm form)
{
    return form >= 0 && form < CPU_FORM_COUNT ? form_names[form] : "unknown";
}

int cpu_form_parse(const char *word, CpuForm *form)
{
    for (int f = 0; word && f < CPU_FORM_COUNT; f++)
        if (strcmp(word, form_names[f]) == 0) {
            *form = (CpuForm)f;
            return 0;
        }
    return -1;
}

static CpuForm widest(void)
{
    CpuForm forms[CPU_FORM_COUNT];
    return forms[cpu_forms_available(forms) - 1];
}

CpuForm cpu_form_choose(const char *word, FILE *err)
{
    CpuForm best = widest(), asked;
    if (!word)
        return best;
    if (cpu_form_parse(word, &asked) != 0) {
        if (err)
            fprintf(err, "CORVELLA_CPU=%.40s is not generic, avx2 or avx512; using %s\n", word,
                    form_names[best]);
        return best;
    }
    if (!cpu_form_runs(asked)) {
        if (err)
            fprintf(err, "CORVELLA_CPU=%s: this processor cannot run it; using %s\n", word,
                    form_names[best]);
        return best;
    }
    return asked;
}

CpuForm cpu_form(void)
{
    int f = __atomic_load_n(&form_in_use, __ATOMIC_RELAXED);
    if (f == 0) {
        f = 1 + (int)cpu_form_choose(getenv("CORVELLA_CPU"), stderr);
        int expected = 0;
        /* The first decision sticks. */
        if (!__atomic_compare_exchange_n(&form_in_use, &expected, f, 0, __ATOMIC_RELAXED,
                                         __ATOMIC_RELAXED))
            f = expected;
    }
    return (CpuForm)(f - 1);
}

int cpu_form_force(CpuForm form)
{
    if (form < 0 || form >= CPU_FORM_COUNT || !cpu_form_runs(form))
        return -1;
    __atomic_store_n(&form_in_use, 1 + (int)form, __ATOMIC_RELAXED);
    return 0;
}
