#include "boundary_index.h"

int mirror_index(int i, int n)
{
    if (i >= 0 && i < n)
        return i;
    if (n <= 1)
        return 0;
    /* Reflections about 0 and n - 1 repeat with period 2n - 2 (in long long:
     * n may be close to INT_MAX). */
    long long period = 2LL * n - 2;
    long long k = (long long)i % period;
    if (k < 0)
        k += period;
    return (int)(k < n ? k : period - k);
}

int wrap_index(int i, int n)
{
    if (i >= 0 && i < n)
        return i;
    if (n <= 1)
        return 0;
    int k = i % n;
    return k < 0 ? k + n : k;
}
