// AEMSOFTS: a receipt journal (";"-separated lines) whose receipts are counted per hour into the
// hourly sales tables of Params.OutDir, every line under store "001". Receipts holding a
// withdrawal ("PRLMNT") or a float ("FDCAI") line are not sales and are left out.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Fields: 0 the receipt number, 1 the date "yyyymmdd", 2 the time (hour in its first two
// characters), 4 a code ("00" lines are not articles), 5 the line type, 8 the amount. A receipt
// counts at its first "GDTOTAL" line: one customer, that line's amount, and the articles (lines
// of positive amount) before it. Lines that cannot be read are skipped. A day whose table cannot
// be written is dropped and the journal goes on; the conversion then raises that error at the
// end. Returns true; raises EOSError when the journal cannot be read.
bool ConvertAemsofts(const std::string& FileName, TConvParams& Params);
