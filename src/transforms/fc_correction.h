// CORRECTION: every count of a counting file multiplied by the coefficient of its weekday, the
// rounding error carried per channel over the day; the file is rewritten in place and the
// unchanged input kept in "compteursbrut".
#pragma once

#include <string>

#include "config/fcsconvparams.h"

struct TVrkDay;

// Corrects Day in memory with Coeffs (Monday first).
void ApplyWeekCorrection(TVrkDay& Day, const TWeekCoeffs& Coeffs);

// Always true when it returns (a missing file does nothing). Raises on file errors and when the
// raw copy of the input fails (the input is then left as it was).
bool CorrectFile(const std::string& FileName, TConvParams& Params);
