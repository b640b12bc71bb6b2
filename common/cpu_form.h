/* One policy for the filters' vector code.  The forms are detected once:
 *   generic  plain C, any processor
 *   avx2     AVX2 with FMA
 *   avx512   AVX-512 F, BW, CD, DQ and VL on top of avx2
 * and the widest this processor runs is used.  The environment variable
 * CORVELLA_CPU=generic|avx2|avx512 forces a form; a form the processor
 * lacks, or any other word, gets one line on stderr and the widest form.
 * Each kernel runs the widest of its own forms that does not exceed the
 * chosen one (a kernel without an avx512 form runs its avx2 form). */
#ifndef CORVELLA_CPU_FORM_H
#define CORVELLA_CPU_FORM_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    CPU_FORM_GENERIC = 0,
    CPU_FORM_AVX2 = 1,
    CPU_FORM_AVX512 = 2
} CpuForm;

#define CPU_FORM_COUNT 3

/* Function attributes for the forms' code.  A plain loop compiled under
 * CPU_TARGET_AVX2_LOOPS gets no FMA, so its rounding stays that of the
 * generic form (the compiler would otherwise fuse multiplies and adds). */
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define CPU_HAVE_X86_FORMS 1
#define CPU_TARGET_AVX2 __attribute__((target("avx2,fma")))
#define CPU_TARGET_AVX2_LOOPS __attribute__((target("avx2")))
#define CPU_TARGET_AVX512 \
    __attribute__((target("avx2,fma,avx512f,avx512bw,avx512cd,avx512dq,avx512vl")))
#else
#define CPU_HAVE_X86_FORMS 0
#endif

/* A plain loop written once, as
 *     static inline CPU_LOOP_BODY void NAME_body PARAMS { ... }
 * and compiled once per form: CPU_LOOP_FORMS_AVX2 (generic, avx2) or
 * CPU_LOOP_FORMS_AVX512 (generic, avx2, avx512) define
 *     static void NAME PARAMS
 * which runs the form that the policy allows (ARGS: PARAMS' names in
 * parentheses).  The avx512 form includes FMA, so it is only for loops
 * whose result does not depend on fused rounding (integer arithmetic). */
#define CPU_LOOP_BODY __attribute__((always_inline))
#if CPU_HAVE_X86_FORMS
#define CPU_LOOP_FORMS_AVX2(name, params, args)                                  \
    CPU_TARGET_AVX2_LOOPS static void name##_avx2 params { name##_body args; }   \
    static void name params                                                      \
    {                                                                            \
        if (cpu_form() >= CPU_FORM_AVX2)                                         \
            name##_avx2 args;                                                    \
        else                                                                     \
            name##_body args;                                                    \
    }
#define CPU_LOOP_FORMS_AVX512(name, params, args)                                \
    CPU_TARGET_AVX2_LOOPS static void name##_avx2 params { name##_body args; }   \
    CPU_TARGET_AVX512 static void name##_avx512 params { name##_body args; }     \
    static void name params                                                      \
    {                                                                            \
        CpuForm form_ = cpu_form();                                              \
        if (form_ == CPU_FORM_AVX512)                                            \
            name##_avx512 args;                                                  \
        else if (form_ == CPU_FORM_AVX2)                                         \
            name##_avx2 args;                                                    \
        else                                                                     \
            name##_body args;                                                    \
    }
#else
#define CPU_LOOP_FORMS_AVX2(name, params, args) \
    static void name params { name##_body args; }
#define CPU_LOOP_FORMS_AVX512(name, params, args) CPU_LOOP_FORMS_AVX2(name, params, args)
#endif

/* The form in use: the override or the widest, decided at the first call. */
CpuForm cpu_form(void);

/* Whether this processor (and its operating system) runs the form. */
int cpu_form_runs(CpuForm form);

/* The forms this processor runs, narrowest first, into forms (room for
 * CPU_FORM_COUNT); returns their number (at least 1: generic). */
int cpu_forms_available(CpuForm *forms);

/* "generic", "avx2" or "avx512" (the words of CORVELLA_CPU). */
const char *cpu_form_name(CpuForm form);

/* Parses a word of CORVELLA_CPU: 0 and *form, or -1 for any other word. */
int cpu_form_parse(const char *word, CpuForm *form);

/* For tests and benches: makes form the form in use (0), or returns -1
 * and changes nothing when the processor does not run it. */
int cpu_form_force(CpuForm form);

/* Applies the policy to an override word (NULL: none), as at start-up:
 * the form it names when the processor runs it, otherwise the widest.
 * A rejected word is reported on err (may be NULL) in one line. */
CpuForm cpu_form_choose(const char *word, FILE *err);

#ifdef __cplusplus
}
#endif

#endif
