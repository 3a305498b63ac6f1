#pragma once
// Numbers as people read them: the shortest decimal text that reads back as the same
// value, so 2.7 shows as "2.7" and not as the binary noise of its last digits.
#include <string>

namespace rpt {

// The shortest general-format text (at most `digits` significant digits, "." as the
// decimal point) that reads back as the same double, or the same single when `single`.
// A value that needs more digits than that is rounded to `digits`: the last digits of a
// computed length (59.795833333333334) tell a person nothing.
std::string ShortestFloatText(long double value, int digits = 15, bool single = false);

}  // namespace rpt
