#include "pipe/statstext.h"

#include <langinfo.h>
#include <locale.h>

#include <cmath>

#include "common/text.h"

std::string SystemTimeText(const TSystemTime& T) {
    return Format("%2.2u.%2.2u.%4.4u %2.2u:%2.2u:%2.2u", unsigned(T.wDay), unsigned(T.wMonth),
                  unsigned(T.wYear), unsigned(T.wHour), unsigned(T.wMinute), unsigned(T.wSecond));
}

std::string CounterText(uint64_t Value) {
    static const std::string Separator = [] {
        const locale_t Locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
        if (Locale == static_cast<locale_t>(nullptr)) {
            return std::string();
        }
        std::string Sep = nl_langinfo_l(THOUSEP, Locale);
        freelocale(Locale);
        return Sep;
    }();
    std::string Digits = std::to_string(Value);
    std::string Text;
    for (size_t I = 0; I < Digits.size(); ++I) {
        if (I > 0 && (Digits.size() - I) % 3 == 0) {
            Text += Separator;
        }
        Text += Digits[I];
    }
    return Text.size() < 12 ? std::string(12 - Text.size(), ' ') + Text : Text;
}

std::string VersionText(const TRorozoraSrvStats& Stats) {
    return Format("%d.%d.%d", Stats.VersionMajor, Stats.VersionMinor, Stats.VersionRelease);
}

std::string LastGroupText(const TRorozoraSrvStats& Stats) {
    return Format("traité sans erreurs - %d, avec les erreurs - %d, en ", Stats.LastGroupOk,
                  Stats.LastGroupBad) +
           FormatDuration(Stats.LastGroupElapsedMs * OneMillisecond);
}

std::string NextCheckText(const TSystemTime& NextCheckAt, TDateTime Now) {
    TDateTime Next = Now;
    try {
        Next = SystemTimeToDateTime(NextCheckAt);
    } catch (const std::exception&) {
        // An impossible time from the peer shows with a distance of 0.
    }
    // A hair above the difference, so that 5 s computed as 4.9999... stays 5.
    const double Seconds = std::fabs(Next - Now) * 86400.0;
    return Format("%s (dans %d sec)", SystemTimeText(NextCheckAt).c_str(),
                  static_cast<int>(std::min(Seconds + 1e-6, 2147483647.0)));
}
