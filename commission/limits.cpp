#include "commission/limits.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

bool secondsAllowed(double seconds, bool zeroAllowed)
{
    return std::isfinite(seconds) && seconds >= 0 && seconds <= MAX_SECONDS && (zeroAllowed || seconds > 0);
}

bool readSeconds(const char* text, bool zeroAllowed, double* seconds)
{
    char* end = NULL;
    errno = 0;
    double value = strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !secondsAllowed(value, zeroAllowed)) {
        return false;
    }
    *seconds = value;
    return true;
}
