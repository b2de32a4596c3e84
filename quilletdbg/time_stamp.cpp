#include "time_stamp.h"

#include <stdio.h>

bool time_stamps_on = false;

void set_stamp_day(StampDay& day, const SYSTEMTIME& time)
{
    day.year = time.wYear;
    day.month = time.wMonth;
    day.day = time.wDay;
}

int format_stamp(const SYSTEMTIME& time, StampDay& day, char* out)
{
    int length = 0;
    if (time.wYear != day.year || time.wMonth != day.month || time.wDay != day.day) {
        set_stamp_day(day, time);
        length = _snprintf(out, STAMP_BYTES, "--- %02u.%02u.%04u ---\n", time.wDay, time.wMonth, time.wYear);
    }
    length += _snprintf(out + length, STAMP_BYTES - length, "%02u:%02u:%02u.%03u ", time.wHour, time.wMinute,
                        time.wSecond, time.wMilliseconds);
    return length;
}

namespace {

const LONGLONG TICKS_PER_MINUTE = 600000000LL;

LONGLONG ticks_of(const SYSTEMTIME& time)
{
    FILETIME file_time = {};
    SystemTimeToFileTime(&time, &file_time);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime);
}

} // namespace

void take_arrival_time(SYSTEMTIME& local, int& utc_offset)
{
    SYSTEMTIME utc = {};
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        local = utc;
        utc_offset = 0;
        return;
    }
    utc_offset = static_cast<int>((ticks_of(local) - ticks_of(utc)) / TICKS_PER_MINUTE);
}
