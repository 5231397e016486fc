// Harvest rules: each maps the decision basis (B1, B2, B3 = elements 1..3)
// and the rule parameters of the option set (par(1), par(2), ...) to the rule
// value v. What v means (an F, a harvest rate or a TAC) is decided by the
// caller. Comparisons are strict, exactly as each rule states them.
#include <cmath>

#include "management/management.hpp"
#include "model/mathf.hpp"

namespace tacsim {

namespace {

// Proportional adjustment around the base value x: down below the lower
// trigger (which wins), up above the upper trigger.
float adjust(float x, float b1, float b2, float btrig1, float btrig2, float alfa1, float alfa2) {
    if (btrig1 > b1) {
        if (btrig1 > 0.0f) return x * (1.0f - alfa1 * (btrig1 - b1) / btrig1);
        return x;
    }
    if (b2 > btrig2) {
        if (btrig2 > 0.0f) return x * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
        return x;
    }
    return x;
}

float floor0(float v) { return (v < 0.0f) ? 0.0f : v; }

float logistic(float x) { return 1.0f / (1.0f + exp_sp(-x)); }

}  // namespace

void rule(State& s, float& v, const BasisVec& basis) {
    switch (s.nrule) {
        case 1: rule1(s, v, basis); break;
        case 2: rule2(s, v, basis); break;
        case 3: rule3(s, v, basis); break;
        case 4: rule4(s, v, basis); break;
        case 5: rule5(s, v, basis); break;
        case 6: rule6(s, v, basis); break;
        case 7: rule7(s, v, basis); break;
        case 8: rule8(s, v, basis); break;
        default: stop_with(s, {"Unknown harvest rule", s.nrule});
    }
}

// Target with proportional adjustment; never negative.
void rule1(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), target = s.par(3), alfa1 = s.par(4), alfa2 = s.par(5);
    v = floor0(adjust(target, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Level1 below B0, a straight line up to Target at Btrig1, Target up to
// Btrig2 and a proportional rise above it.
void rule2(State& s, float& v, const BasisVec& basis) {
    const float b0 = s.par(1), btrig1 = s.par(2), btrig2 = s.par(3), target = s.par(4), level1 = s.par(5),
                alfa2 = s.par(6);
    const float b1 = basis(1), b2 = basis(2);
    if (b0 > b1) {
        v = level1;
    } else if (btrig1 > b1) {
        v = level1 + (target - level1) * (b1 - b0) / (btrig1 - b0);
    } else if (btrig2 > b2) {
        v = target;
    } else if (btrig2 <= 0.0f) {
        v = target;  // no upper trigger to scale by
    } else {
        v = target * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
    }
}

// As rule 1 with a target that grows with the third indicator.
void rule3(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), target = s.par(3), alfa1 = s.par(4), alfa2 = s.par(5),
                gain = s.par(6);
    const float x = target * (1.0f + gain * basis(3));
    v = floor0(adjust(x, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Logistic descent to 0 below Btrig1 and logistic rise towards
// Target + (Vmax - Target)/2 above Btrig2.
void rule4(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), target = s.par(3), slope1 = s.par(4), slope2 = s.par(5),
                vmax = s.par(6);
    const float b1 = basis(1), b2 = basis(2);
    if (btrig1 > b1) {
        if (btrig1 > 0.0f) {
            const float den = logistic(slope1) - 0.5f;
            if (den == 0.0f)
                v = target * b1 / btrig1;  // the limit of the logistic as the slope goes to 0
            else
                v = target * (logistic(slope1 * b1 / btrig1) - 0.5f) / den;
        } else {
            v = target;
        }
    } else if (b2 > btrig2) {
        if (btrig2 > 0.0f)
            v = floor0(target + (vmax - target) * (logistic(slope2 * (b2 - btrig2) / btrig2) - 0.5f));
        else
            v = target;
    } else {
        v = target;
    }
    v = floor0(v);
}

// Vhigh or Vlow by the recruitment indicator, with proportional adjustment.
void rule5(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), refrec = s.par(3), alfa1 = s.par(4), alfa2 = s.par(5),
                vlow = s.par(6), vhigh = s.par(7);
    const float x = (basis(3) > refrec) ? vhigh : vlow;
    v = floor0(adjust(x, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2));
}

// Rule 2's shape around Vhigh or Vlow chosen by the recruitment indicator.
void rule6(State& s, float& v, const BasisVec& basis) {
    const float b0 = s.par(1), btrig1 = s.par(2), btrig2 = s.par(3), refrec = s.par(4), alfa2 = s.par(5),
                v0 = s.par(6), vlow = s.par(7), vhigh = s.par(8);
    const float b1 = basis(1), b2 = basis(2);
    const float x = (basis(3) > refrec) ? vhigh : vlow;
    if (b0 > b1) {
        v = v0;
    } else if (btrig1 > b1) {
        v = v0 + (x - v0) * (b1 - b0) / (btrig1 - b0);
    } else if (btrig2 > b2) {
        v = x;
    } else if (btrig2 <= 0.0f) {
        v = x;  // no upper trigger to scale by
    } else {
        v = x * (1.0f + alfa2 * (b2 - btrig2) / btrig2);
    }
}

// B1 only: Target above Btrig2, a straight line from Alfa2 at Btrig1 to
// Target at Btrig2, a proportional cut of Alfa2 below Btrig1.
void rule7(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), target = s.par(3), alfa1 = s.par(4), alfa2 = s.par(5);
    const float b1 = basis(1);
    if (b1 > btrig2) {
        v = target;
    } else if (btrig1 < b1 && b1 < btrig2) {
        v = alfa2 + (target - alfa2) * (b1 - btrig1) / (btrig2 - btrig1);
    } else if (b1 < btrig1) {
        v = floor0(alfa2 * (1.0f - alfa1 * (btrig1 - b1) / btrig1));
    } else if (b1 == btrig2) {
        v = target;
    } else {
        v = alfa2;
    }
}

// Vstd with proportional adjustment, held within Vlow..Vhigh.
void rule8(State& s, float& v, const BasisVec& basis) {
    const float btrig1 = s.par(1), btrig2 = s.par(2), vstd = s.par(3), alfa1 = s.par(4), alfa2 = s.par(5),
                vlow = s.par(6), vhigh = s.par(7);
    v = adjust(vstd, basis(1), basis(2), btrig1, btrig2, alfa1, alfa2);
    if (vlow > v) v = vlow;
    if (v > vhigh) v = vhigh;
}

}  // namespace tacsim
