#!/usr/bin/env bash
# Lists the math functions a program takes from the C library and fails when
# one of them is a single-precision function whose result the library rounds
# its own way (expf, logf, powf, cosf, ...): the model's results would then
# depend on the platform's math library. Functions that IEEE 754 defines
# exactly (sqrtf, fminf, fmaxf, fabsf, rounding to whole numbers, ...) give
# the same bits everywhere and are allowed.
#   tools/libm-check.sh PROGRAM
set -euo pipefail
prog=${1:?usage: libm-check.sh PROGRAM}

# Exact on every conforming library.
exact='^(sqrtf|fmaf|fminf|fmaxf|fabsf|copysignf|floorf|ceilf|truncf|roundf|rintf|nearbyintf|lrintf|llrintf|lroundf|llroundf|fmodf|remainderf|remquof|ldexpf|scalbnf|scalblnf|frexpf|modff|nextafterf|nexttowardf|fdimf|ilogbf|logbf)$'

# The library's exported functions, and the undefined symbols of the program.
libm=$(ldd "$prog" | awk '/libm\.so/ {print $3}')
if [[ -z $libm ]]; then
    echo "$prog does not link the C math library"
    exit 0
fi
exported=$(nm -D --defined-only "$libm" | awk '{print $NF}' | sed 's/@.*//' | sort -u)
linked=$(comm -12 <(nm -D --undefined-only "$prog" | awk '{print $NF}' | sed 's/@.*//' | sort -u) \
                  <(echo "$exported"))

status=0
echo "Math functions from $libm:"
for f in $linked; do
    if [[ $f =~ $exact ]]; then
        echo "  $f (exact)"
    elif [[ $f == *f ]] && grep -qx "${f%f}" <<<"$exported"; then  # sinf of sin, not erf
        echo "  $f (single precision, rounded by the library: results depend on the platform)"
        status=1
    else
        echo "  $f"
    fi
done
exit $status
